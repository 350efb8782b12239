// Parsing the mobile-broadband provider database (serviceproviders.xml) with expat.
#include "libs/zozeziv/operators.h"

#include <expat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "libs/zozeziv/zozeziv.h"

namespace zozeziv {

namespace {

struct ParseState {
    std::vector<std::string> path;  // element names from the root down
    std::vector<OperatorSettings>* out = nullptr;
    std::string country;
    std::string provider;
    bool providerNamed = false;  // the provider's name without a language was taken
    bool nameHasLang = false;    // the provider name being read carries xml:lang
    bool inApn = false;
    bool apnIsMms = false;
    OperatorSettings apn;
    std::string text;  // character data of the innermost element
};

std::string Trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) {
        return {};
    }
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

const char* Attribute(const XML_Char** atts, const char* name) {
    for (int i = 0; atts[i]; i += 2) {
        if (std::strcmp(atts[i], name) == 0) {
            return atts[i + 1];
        }
    }
    return nullptr;
}

bool ParentIs(const ParseState& s, const char* name) {
    return s.path.size() >= 2 && s.path[s.path.size() - 2] == name;
}

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char** atts) {
    auto& s = *static_cast<ParseState*>(data);
    s.path.emplace_back(name);
    s.text.clear();
    std::string_view n(name);
    if (n == "country") {
        const char* code = Attribute(atts, "code");
        s.country = code ? code : "";
    } else if (n == "provider") {
        s.provider.clear();
        s.providerNamed = false;
    } else if (n == "apn") {
        s.inApn = true;
        s.apnIsMms = false;
        s.apn = OperatorSettings{};
        const char* value = Attribute(atts, "value");
        s.apn.apn = value ? value : "";
    } else if (n == "usage" && s.inApn && ParentIs(s, "apn")) {
        const char* type = Attribute(atts, "type");
        if (type && std::strcmp(type, "mms") == 0) {
            s.apnIsMms = true;
        }
    } else if (n == "name" && ParentIs(s, "provider")) {
        s.nameHasLang = Attribute(atts, "xml:lang") != nullptr;
    }
}

void XMLCALL End(void* data, const XML_Char* name) {
    auto& s = *static_cast<ParseState*>(data);
    std::string_view n(name);
    std::string text = Trimmed(s.text);
    if (s.inApn && ParentIs(s, "apn")) {
        if (n == "name") {
            s.apn.accessPoint = text;
        } else if (n == "username") {
            s.apn.username = text;
        } else if (n == "password") {
            s.apn.password = text;
        } else if (n == "mmsproxy") {
            s.apn.mmsProxy = text;
        } else if (n == "mmsc") {
            s.apn.mmsServerUrl = text;
        }
    } else if (n == "name" && ParentIs(s, "provider")) {
        // Names in other languages carry xml:lang; the plain one wins, else the first.
        if (!s.nameHasLang && !s.providerNamed) {
            s.provider = text;
            s.providerNamed = true;
        } else if (s.provider.empty()) {
            s.provider = text;
        }
    } else if (n == "apn" && s.inApn) {
        s.inApn = false;
        if (s.apnIsMms || !s.apn.mmsServerUrl.empty()) {
            s.apn.country = s.country;
            s.apn.provider = s.provider;
            s.out->push_back(std::move(s.apn));
        }
    }
    s.path.pop_back();
    s.text.clear();
}

void XMLCALL Text(void* data, const XML_Char* chars, int len) {
    auto& s = *static_cast<ParseState*>(data);
    s.text.append(chars, static_cast<std::size_t>(len));
}

}  // namespace

std::string OperatorDatabasePath() {
    const char* env = std::getenv("ZELMOSMS_OPERATOR_DB");
    return env && *env ? env : ZOZEZIV_OPERATOR_DB;
}

bool ParseOperatorSettings(std::string_view xml, std::vector<OperatorSettings>* out) {
    out->clear();
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) {
        return false;
    }
    ParseState state;
    state.out = out;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, Start, End);
    XML_SetCharacterDataHandler(parser, Text);
    bool ok = true;
    while (ok && !xml.empty()) {
        int chunk = static_cast<int>(std::min<std::size_t>(xml.size(), 1 << 20));
        ok = XML_Parse(parser, xml.data(), chunk, XML_FALSE) == XML_STATUS_OK;
        xml.remove_prefix(static_cast<std::size_t>(chunk));
    }
    ok = ok && XML_Parse(parser, "", 0, XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!ok) {
        out->clear();
    }
    return ok;
}

std::vector<OperatorSettings> LoadOperatorSettings(const std::string& path) {
    std::vector<OperatorSettings> list;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return list;
    }
    std::ostringstream text;
    text << in.rdbuf();
    ParseOperatorSettings(text.str(), &list);
    return list;
}

}  // namespace zozeziv

extern "C" int OperatorSettingsListAvailable(void) {
    return zozeziv::LoadOperatorSettings(zozeziv::OperatorDatabasePath()).empty() ? 0 : 1;
}
