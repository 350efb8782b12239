// A temporary directory for one test, removed with everything in it when the test ends. Used as a
// scratch folder or as the data root of the console (ZELMOSMS_ROOT).
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

class TempRoot {
  public:
    // Creates a fresh directory under $TMPDIR (or /tmp). With `asDataRoot`, ZELMOSMS_ROOT names
    // it until the object ends (the previous value is restored).
    explicit TempRoot(bool asDataRoot = false);
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::string& path() const { return path_; }   // no trailing "/"
    std::string Path(std::string_view relative) const;  // path() + "/" + relative

    // Writes a file (creating folders on the way) and reads one back ("" when missing).
    void Write(std::string_view relative, std::string_view content) const;
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;

  private:
    std::string path_;
    bool asDataRoot_;
    bool hadRoot_ = false;
    std::string oldRoot_;
};

// Reads a whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes a whole file, replacing it.
void WriteFile(const std::string& path, std::string_view content);
// Number of file descriptors this process has open (from /proc/self/fd).
int OpenDescriptorCount();

}  // namespace testsupport
