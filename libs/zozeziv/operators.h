// Mobile-operator settings for MMS: the operators of the mobile-broadband provider database that
// define an MMS access point, with what the MMS settings dialog fills in from a chosen entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zozeziv {

struct OperatorSettings {
    std::string country;       // country code as the database gives it ("gb")
    std::string provider;      // operator name
    std::string accessPoint;   // the access point's own name ("Vodafone MMS"), may be empty
    std::string apn;           // MMS APN
    std::string username;      // login name, may be empty
    std::string password;      // may be empty
    std::string mmsProxy;      // "host:port", may be empty
    std::string mmsServerUrl;  // MMSC URL, may be empty when the database gives none
};

// The database file: $ZELMOSMS_OPERATOR_DB when set and not empty, else ZOZEZIV_OPERATOR_DB.
std::string OperatorDatabasePath();

// Every access point of the database `xml` whose usage is "mms" or that names an MMS server, in
// file order. False (with what was read so far discarded) when the text is not well-formed XML.
bool ParseOperatorSettings(std::string_view xml, std::vector<OperatorSettings>* out);

// Reads and parses the database file; an empty list when it is missing or cannot be parsed.
std::vector<OperatorSettings> LoadOperatorSettings(const std::string& path);

}  // namespace zozeziv
