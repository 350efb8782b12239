// The profile-string reader and writer behind platform/ini.h: a line-preserving parsed model of a
// file, a per-path cache of parsed copies checked against the file's identity on disk, and the
// locked, atomic rewrite.
#include "platform/ini.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/fd_io.h"
#include "platform/file_id.h"

namespace platform {
namespace {

// ---- The model -------------------------------------------------------------------------------

enum Eol : uint8_t { kNone, kLf, kCrLf, kCr };

const char* EolText(uint8_t eol) {
    switch (eol) {
        case kLf:
            return "\n";
        case kCrLf:
            return "\r\n";
        case kCr:
            return "\r";
        default:
            return "";
    }
}

struct Line {
    std::string text;
    uint8_t eol = kNone;
    bool dead = false;  // deleted; skipped when written
};

struct Section {
    std::string name;  // as written in the header
    Line header;
    std::vector<Line> body;
    std::unordered_map<std::string, std::size_t> keys;  // lower-case key -> first line in body
    bool duplicateKeys = false;                         // some key stands more than once
    bool dead = false;
};

struct Model {
    std::vector<Line> preamble;  // lines before the first section header
    std::vector<Section> sections;
    std::unordered_map<std::string, std::size_t> index;  // lower-case name -> first live section
    uint8_t style = kLf;                                 // line end for lines we add
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// A section header "[name]": the name between "[" and the first "]", trimmed.
bool ParseHeader(std::string_view line, std::string_view* name) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') {
        return false;
    }
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    *name = Trim(t.substr(1, close - 1));
    return true;
}

// A key line "key=value"; comment lines (";") and lines without "=" or with an empty key are not.
bool ParseKey(std::string_view line, std::string_view* key, std::string_view* value) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') {
        return false;
    }
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    *key = Trim(t.substr(0, eq));
    if (key->empty()) {
        return false;
    }
    if (value) {
        *value = Trim(t.substr(eq + 1));
    }
    return true;
}

void IndexKey(Section& s, std::size_t at) {
    std::string_view key;
    if (!ParseKey(s.body[at].text, &key, nullptr)) {
        return;
    }
    if (!s.keys.emplace(Lower(key), at).second) {
        s.duplicateKeys = true;
    }
}

Model Parse(std::string_view text) {
    Model m;
    bool styleSeen = false;
    std::vector<Line>* lines = &m.preamble;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        Line line;
        if (end == std::string_view::npos) {
            line.text.assign(text.substr(pos));
            pos = text.size();
        } else {
            line.text.assign(text.substr(pos, end - pos));
            if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
                line.eol = kCrLf;
                pos = end + 2;
            } else {
                line.eol = text[end] == '\r' ? kCr : kLf;
                pos = end + 1;
            }
            if (!styleSeen) {
                m.style = line.eol;
                styleSeen = true;
            }
        }
        std::string_view name;
        if (ParseHeader(line.text, &name)) {
            Section s;
            s.name.assign(name);
            s.header = std::move(line);
            m.index.emplace(Lower(s.name), m.sections.size());
            m.sections.push_back(std::move(s));
            lines = &m.sections.back().body;
            continue;
        }
        lines->push_back(std::move(line));
        if (lines != &m.preamble) {
            IndexKey(m.sections.back(), lines->size() - 1);
        }
    }
    return m;
}

std::string Serialize(const Model& m) {
    std::size_t total = 0;
    auto measure = [&](const Line& l) { total += l.text.size() + 2; };
    for (const Line& l : m.preamble) {
        measure(l);
    }
    for (const Section& s : m.sections) {
        measure(s.header);
        for (const Line& l : s.body) {
            measure(l);
        }
    }
    std::string out;
    out.reserve(total);
    // A line that had no end (the last of the file) gets one when something follows it.
    bool pendingEnd = false;
    auto emit = [&](const Line& l) {
        if (l.dead) {
            return;
        }
        if (pendingEnd) {
            out += EolText(m.style);
        }
        out += l.text;
        out += EolText(l.eol);
        pendingEnd = l.eol == kNone;
    };
    for (const Line& l : m.preamble) {
        emit(l);
    }
    for (const Section& s : m.sections) {
        if (s.dead) {
            continue;
        }
        emit(s.header);
        for (const Line& l : s.body) {
            emit(l);
        }
    }
    return out;
}

const Section* FindSection(const Model& m, std::string_view name) {
    auto it = m.index.find(Lower(name));
    return it == m.index.end() ? nullptr : &m.sections[it->second];
}

std::optional<std::string> ReadValue(const Model& m, std::string_view section,
                                     std::string_view key) {
    const Section* s = FindSection(m, section);
    if (!s) {
        return std::nullopt;
    }
    auto it = s->keys.find(Lower(key));
    if (it == s->keys.end()) {
        return std::nullopt;
    }
    std::string_view k, v;
    ParseKey(s->body[it->second].text, &k, &v);
    return std::string(v);
}

// The live key lines of a section, first occurrence of each key, in file order.
template <typename Fn>
void ForEachKey(const Section& s, Fn fn) {
    for (std::size_t i = 0; i < s.body.size(); ++i) {
        const Line& l = s.body[i];
        std::string_view k, v;
        if (l.dead || !ParseKey(l.text, &k, &v)) {
            continue;
        }
        if (s.duplicateKeys) {
            auto it = s.keys.find(Lower(k));
            if (it == s.keys.end() || it->second != i) {
                continue;
            }
        }
        fn(k, v);
    }
}

// ---- Changes to the model --------------------------------------------------------------------

void RebuildIndex(Model& m) {
    m.index.clear();
    for (std::size_t i = 0; i < m.sections.size(); ++i) {
        if (!m.sections[i].dead) {
            m.index.emplace(Lower(m.sections[i].name), i);
        }
    }
}

Section& SectionForWrite(Model& m, std::string_view name) {
    auto it = m.index.find(Lower(name));
    if (it != m.index.end()) {
        return m.sections[it->second];
    }
    Section s;
    s.name.assign(name);
    s.header.text = "[" + s.name + "]";
    s.header.eol = m.style;
    m.index.emplace(Lower(name), m.sections.size());
    m.sections.push_back(std::move(s));
    return m.sections.back();
}

void SetKey(Model& m, std::string_view section, std::string_view key, std::string_view value) {
    Section& s = SectionForWrite(m, section);
    std::string lower = Lower(key);
    auto it = s.keys.find(lower);
    if (it != s.keys.end()) {
        Line& l = s.body[it->second];
        std::string_view oldKey;
        ParseKey(l.text, &oldKey, nullptr);
        std::string text;
        text.reserve(oldKey.size() + 1 + value.size());
        text.append(oldKey).append("=").append(value);
        l.text = std::move(text);
        return;
    }
    // A new key goes after the last line of the section that is neither blank nor deleted.
    std::size_t at = s.body.size();
    while (at > 0 && (s.body[at - 1].dead || Trim(s.body[at - 1].text).empty())) {
        --at;
    }
    Line l;
    l.text.reserve(key.size() + 1 + value.size());
    l.text.append(key).append("=").append(value);
    l.eol = m.style;
    // Lines after `at` are blank or deleted, so no indexed position moves.
    if (at > 0 && s.body[at - 1].eol == kNone) {
        s.body[at - 1].eol = m.style;
    }
    s.body.insert(s.body.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
    s.keys.emplace(std::move(lower), at);
}

void DeleteKey(Model& m, std::string_view section, std::string_view key) {
    auto sit = m.index.find(Lower(section));
    if (sit == m.index.end()) {
        return;
    }
    Section& s = m.sections[sit->second];
    std::string lower = Lower(key);
    auto it = s.keys.find(lower);
    if (it == s.keys.end()) {
        return;
    }
    s.body[it->second].dead = true;
    s.keys.erase(it);
    if (s.duplicateKeys) {
        // Later copies of the key would otherwise surface on the next parse.
        for (Line& l : s.body) {
            std::string_view k;
            if (!l.dead && ParseKey(l.text, &k, nullptr) && Lower(k) == lower) {
                l.dead = true;
            }
        }
    }
}

void DeleteSection(Model& m, std::string_view section) {
    std::string lower = Lower(section);
    if (m.index.find(lower) == m.index.end()) {
        return;
    }
    // Every section of that name goes, so that no later duplicate surfaces.
    for (Section& s : m.sections) {
        if (!s.dead && Lower(s.name) == lower) {
            s.dead = true;
        }
    }
    RebuildIndex(m);
}

bool ValidName(std::string_view name, bool isSection) {
    if (name.empty() || Trim(name).size() != name.size()) {
        return false;
    }
    if (name.find_first_of(isSection ? std::string_view("]\r\n\0", 4)
                                     : std::string_view("=\r\n\0", 4)) != std::string_view::npos) {
        return false;
    }
    if (!isSection && (name.front() == '[' || name.front() == ';')) {
        return false;
    }
    return true;
}

std::string_view StorableValue(std::string_view value) {
    std::size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
    return cut == std::string_view::npos ? value : value.substr(0, cut);
}

bool ValidBatch(const IniBatch& batch) {
    for (const IniBatch::Op& op : batch.ops()) {
        if (!ValidName(op.section, true)) {
            return false;
        }
        if (op.kind != IniBatch::Op::kDeleteSection && !ValidName(op.key, false)) {
            return false;
        }
    }
    return true;
}

void ApplyOps(Model& m, const IniBatch& batch) {
    for (const IniBatch::Op& op : batch.ops()) {
        switch (op.kind) {
            case IniBatch::Op::kSet:
                SetKey(m, op.section, op.key, StorableValue(op.value));
                break;
            case IniBatch::Op::kDeleteKey:
                DeleteKey(m, op.section, op.key);
                break;
            case IniBatch::Op::kDeleteSection:
                DeleteSection(m, op.section);
                break;
        }
    }
}

// ---- Files and the cache ---------------------------------------------------------------------

// A file modified within the file system's timestamp granularity of an earlier read can look
// unchanged (same inode, size and times). Such a "racy" copy keeps its text, and the next use
// compares the file's bytes with it before trusting the parsed model.
constexpr int64_t kRacyNs = 100'000'000;  // far coarser than any kernel's timestamp tick

bool IsRacy(const FileId& id) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t nowNs = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
    return nowNs - id.mtimeNs < kRacyNs || nowNs - id.ctimeNs < kRacyNs;
}

struct CacheEntry {
    FileId id;
    std::shared_ptr<const Model> model;
    std::shared_ptr<const std::string> racyText;  // set while the copy is racy
};

std::mutex g_cacheMutex;
std::unordered_map<std::string, CacheEntry>& Cache() {
    static auto* cache = new std::unordered_map<std::string, CacheEntry>;
    return *cache;
}

std::optional<CacheEntry> Lookup(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    auto it = Cache().find(path);
    if (it == Cache().end()) {
        return std::nullopt;
    }
    return it->second;
}

void Remember(const std::string& path, const FileId& id, std::shared_ptr<const Model> model,
              std::string text) {
    std::shared_ptr<const std::string> racy;
    if (IsRacy(id)) {
        racy = std::make_shared<const std::string>(std::move(text));
    }
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    Cache()[path] = CacheEntry{id, std::move(model), std::move(racy)};
}

// The parsed model of the open file `fd` (freshly opened, identity `id`): the cached copy when it
// is certainly current, else parsed from the file's bytes. Null when the file cannot be read.
std::shared_ptr<const Model> ModelOf(const std::string& path, int fd, const FileId& id) {
    std::optional<CacheEntry> entry = Lookup(path);
    if (entry && entry->id == id && !entry->racyText) {
        return entry->model;
    }
    std::string text;
    if (!ReadAllFd(fd, &text)) {
        return nullptr;
    }
    std::shared_ptr<const Model> model;
    if (entry && entry->id == id && *entry->racyText == text) {
        model = entry->model;
    } else {
        model = std::make_shared<const Model>(Parse(text));
    }
    Remember(path, id, model, std::move(text));
    return model;
}

const std::shared_ptr<const Model>& EmptyModel() {
    static const auto* empty = new std::shared_ptr<const Model>(std::make_shared<Model>());
    return *empty;
}

// The parsed copy of the file as it is on disk now; an empty model when it cannot be read.
std::shared_ptr<const Model> Load(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        return EmptyModel();
    }
    std::optional<CacheEntry> entry = Lookup(path);
    if (entry && entry->id == FileIdOf(st) && !entry->racyText) {
        return entry->model;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return EmptyModel();
    }
    std::shared_ptr<const Model> model;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        model = ModelOf(path, fd, FileIdOf(st));
    }
    ::close(fd);
    return model ? model : EmptyModel();
}

// Takes the writer's lock on the file as it is named now (creating it when missing): the lock is
// on the inode, so after waiting we check that nobody replaced the file meanwhile.
int LockForWrite(const std::string& path, struct stat* st) {
    for (;;) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            return -1;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        struct stat named;
        if (rc == 0 && ::fstat(fd, st) == 0 && ::stat(path.c_str(), &named) == 0 &&
            named.st_ino == st->st_ino && named.st_dev == st->st_dev) {
            return fd;
        }
        int saved = errno;
        ::close(fd);
        if (rc != 0) {
            errno = saved;
            return -1;
        }
    }
}

// Reads the locked file, applies `change` to its model and replaces the file with the result.
bool Rewrite(const std::string& path, const std::function<void(Model&)>& change) {
    struct stat st;
    int fd = LockForWrite(path, &st);
    if (fd < 0) {
        return false;
    }
    bool ok = false;
    std::string tmp;
    int tfd = -1;
    do {
        std::shared_ptr<const Model> current = ModelOf(path, fd, FileIdOf(st));
        if (!current) {
            break;
        }
        Model model = *current;
        change(model);
        std::string text = Serialize(model);

        std::size_t slash = path.rfind('/');
        std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        tmp = dir + "." + base + ".XXXXXX";
        tfd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (tfd < 0) {
            tmp.clear();
            break;
        }
        if (!WriteAllFd(tfd, text) || ::fchmod(tfd, st.st_mode & 07777) != 0) {
            break;
        }
        if (::fchown(tfd, st.st_uid, st.st_gid) != 0) {
            // Only root may give the file away; keeping our own ownership is fine otherwise.
        }
        if (::fsync(tfd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
            break;
        }
        tmp.clear();
        struct stat written;
        if (::fstat(tfd, &written) == 0) {
            Remember(path, FileIdOf(written), std::make_shared<const Model>(std::move(model)),
                     std::move(text));
        }
        ok = true;
    } while (false);
    int saved = errno;
    if (tfd >= 0) {
        ::close(tfd);
    }
    if (!tmp.empty()) {
        ::unlink(tmp.c_str());
    }
    ::close(fd);
    errno = saved;
    return ok;
}

uint32_t CopyOut(std::string_view text, char* buffer, uint32_t size) {
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

// Copies NUL-separated names ending with a double NUL; cut short (with the double NUL kept) when
// the buffer is too small.
uint32_t CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    uint32_t used = 0;
    for (const std::string& name : names) {
        std::string_view n(name.c_str());  // a name holding NUL ends there
        if (used + n.size() + 1 > size - 1) {
            uint32_t room = size - 1 - used;
            if (room > 1) {
                std::memcpy(buffer + used, n.data(), room - 1);
                used += room - 1;
                buffer[used++] = '\0';
            }
            break;
        }
        std::memcpy(buffer + used, n.data(), n.size());
        used += static_cast<uint32_t>(n.size());
        buffer[used++] = '\0';
    }
    buffer[used] = '\0';
    return used;
}

}  // namespace

// ---- Public calls ----------------------------------------------------------------------------

std::optional<std::string> IniRead(const std::string& path, std::string_view section,
                                   std::string_view key) {
    return ReadValue(*Load(path), section, key);
}

std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def, std::size_t size) {
    std::optional<std::string> v = IniRead(path, section, key);
    std::string out = v ? std::move(*v) : std::string(def);
    if (size > 0 && out.size() > size - 1) {
        out.resize(size - 1);
    }
    return out;
}

std::vector<std::string> IniSectionNames(const std::string& path) {
    auto m = Load(path);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < m->sections.size(); ++i) {
        auto it = m->index.find(Lower(m->sections[i].name));
        if (it != m->index.end() && it->second == i) {
            names.push_back(m->sections[i].name);
        }
    }
    return names;
}

std::vector<std::string> IniKeyNames(const std::string& path, std::string_view section) {
    std::vector<std::string> names;
    auto m = Load(path);
    if (const Section* s = FindSection(*m, section)) {
        ForEachKey(*s, [&](std::string_view k, std::string_view) { names.emplace_back(k); });
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> IniReadSection(const std::string& path,
                                                                std::string_view section) {
    std::vector<std::pair<std::string, std::string>> pairs;
    auto m = Load(path);
    if (const Section* s = FindSection(*m, section)) {
        ForEachKey(*s, [&](std::string_view k, std::string_view v) { pairs.emplace_back(k, v); });
    }
    return pairs;
}

bool IniSectionExists(const std::string& path, std::string_view section) {
    return FindSection(*Load(path), section) != nullptr;
}

uint32_t IniGetProfileString(const char* section, const char* key, const char* def, char* buffer,
                             uint32_t size, const std::string& path) {
    if (!buffer || size == 0) {
        return 0;
    }
    if (!section) {
        return CopyList(IniSectionNames(path), buffer, size);
    }
    if (!key) {
        return CopyList(IniKeyNames(path, section), buffer, size);
    }
    std::optional<std::string> v = IniRead(path, section, key);
    return CopyOut(v ? std::string_view(*v) : std::string_view(def ? def : ""), buffer, size);
}

bool IniWrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value) {
    IniBatch b;
    b.Set(section, key, value);
    return IniApply(path, b);
}

bool IniDeleteKey(const std::string& path, std::string_view section, std::string_view key) {
    IniBatch b;
    b.DeleteKey(section, key);
    return IniApply(path, b);
}

bool IniDeleteSection(const std::string& path, std::string_view section) {
    IniBatch b;
    b.DeleteSection(section);
    return IniApply(path, b);
}

bool IniWriteProfileString(const char* section, const char* key, const char* value,
                           const std::string& path) {
    if (!section) {
        return false;
    }
    if (!key) {
        return IniDeleteSection(path, section);
    }
    if (!value) {
        return IniDeleteKey(path, section, key);
    }
    return IniWrite(path, section, key, value);
}

void IniBatch::Set(std::string_view section, std::string_view key, std::string_view value) {
    ops_.push_back(Op{Op::kSet, std::string(section), std::string(key), std::string(value)});
}

void IniBatch::DeleteKey(std::string_view section, std::string_view key) {
    ops_.push_back(Op{Op::kDeleteKey, std::string(section), std::string(key), {}});
}

void IniBatch::DeleteSection(std::string_view section) {
    ops_.push_back(Op{Op::kDeleteSection, std::string(section), {}, {}});
}

bool IniApply(const std::string& path, const IniBatch& batch) {
    if (!ValidBatch(batch)) {
        errno = EINVAL;
        return false;
    }
    if (batch.empty()) {
        return true;
    }
    return Rewrite(path, [&](Model& m) { ApplyOps(m, batch); });
}

std::optional<std::string> IniParseAndRead(std::string_view text, std::string_view section,
                                           std::string_view key) {
    return ReadValue(Parse(text), section, key);
}

std::string IniParseApplySerialize(std::string_view text, const IniBatch& batch) {
    Model m = Parse(text);
    if (ValidBatch(batch)) {
        ApplyOps(m, batch);
    }
    return Serialize(m);
}

}  // namespace platform
