// The ANSI and OEM code pages of the user's locale, and conversions between
// code pages with iconv.
#include "platform/CodePage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/CodePageTable.h"

namespace platform {

namespace {

struct LocaleInfo {
    std::string language;  // "ru", "tr", ... ("" for C and POSIX)
    std::string codeset;   // as written in the locale name, may be empty
};

// The locale that the C library would take for LC_CTYPE: LC_ALL, LC_CTYPE,
// then LANG, the first that is set and not empty.
LocaleInfo UserLocale() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    LocaleInfo info;
    if (name == nullptr) {
        return info;
    }
    std::string text = name;
    if (text == "C" || text == "POSIX" || text.rfind("C.", 0) == 0) {
        info.codeset = text.size() > 2 ? text.substr(2) : "";
        return info;
    }
    std::size_t at = text.find('@');
    if (at != std::string::npos) {
        text.resize(at);
    }
    std::size_t dot = text.find('.');
    if (dot != std::string::npos) {
        info.codeset = text.substr(dot + 1);
        text.resize(dot);
    }
    info.language = text.substr(0, text.find('_'));
    return info;
}

// The locale kept for the whole process, once a program asked for it.
std::atomic<bool> localeKept{false};
LocaleInfo keptLocale;

// The user's locale: the one kept for the process, else worked out again
// only when the variables that name it change (tests change them), so that
// each name conversion costs three environment look-ups and no parsing.
const LocaleInfo& CurrentLocale() {
    if (localeKept.load(std::memory_order_acquire)) {
        return keptLocale;
    }
    constexpr const char* kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    thread_local std::string seen[3];
    thread_local bool known = false;
    thread_local LocaleInfo info;
    bool same = known;
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(kVariables[i]);
        const char* text = value == nullptr ? "" : value;
        if (seen[i] != text) {
            seen[i] = text;
            same = false;
        }
    }
    if (!same) {
        info = UserLocale();
        known = true;
    }
    return info;
}

bool IsUtf8Codeset(const std::string& codeset) {
    std::string lower;
    for (char c : codeset) {
        if (c != '-' && c != '_') {
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    return lower == "utf8";
}

unsigned AnsiFromLocale(const LocaleInfo& info) {
    if (info.language.empty() || IsUtf8Codeset(info.codeset)) {
        return CP_UTF8;
    }
    if (info.language == "ru" || info.language == "uk" || info.language == "be") {
        return 1251;
    }
    if (info.language == "tr") {
        return 1254;
    }
    return 1252;
}

unsigned OemForAnsi(unsigned ansi) {
    switch (ansi) {
        case CP_UTF8:
            return CP_UTF8;
        case 1251:
            return 866;
        case 1254:
            return 857;
        default:
            return 437;
    }
}

std::atomic<unsigned> explicitAnsi{0};
std::atomic<unsigned> explicitOem{0};

// iconv descriptors are not safe to share between threads; each thread keeps
// its own, one per direction.
class IconvCache {
  public:
    ~IconvCache() {
        for (auto& entry : descriptors_) {
            if (entry.second != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(entry.second);
            }
        }
    }
    iconv_t Get(unsigned from, unsigned to) {
        auto key = std::make_pair(from, to);
        auto found = descriptors_.find(key);
        if (found != descriptors_.end()) {
            iconv(found->second, nullptr, nullptr, nullptr, nullptr);
            return found->second;
        }
        char fromName[16];
        char toName[16];
        iconv_t cd = iconv_open(IconvName(to, toName), IconvName(from, fromName));
        descriptors_.emplace(key, cd);
        return cd;
    }

  private:
    std::map<std::pair<unsigned, unsigned>, iconv_t> descriptors_;
};

// The length of the character at the start of `text` in code page `cp`: a
// whole code point of valid UTF-8, else one byte.
std::size_t CharLength(const char* text, std::size_t left, unsigned cp) {
    if (cp != CP_UTF8) {
        return 1;
    }
    std::size_t pos = 0;
    DecodeUtf8(std::string_view(text, left), pos);
    return pos;
}

}  // namespace

const char* IconvName(unsigned codePage, char (&buffer)[16]) {
    if (codePage == CP_UTF8) {
        return "UTF-8";
    }
    std::snprintf(buffer, sizeof buffer, "CP%u", codePage);
    return buffer;
}

bool SingleByteTable(unsigned codePage, ByteTable& table) {
    char name[16];
    iconv_t cd = iconv_open("UTF-32LE", IconvName(codePage, name));
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    for (unsigned byte = 0; byte < 256; ++byte) {
        char in = static_cast<char>(byte);
        unsigned char out[8] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            sizeof out - outLeft != 4) {
            table[byte] = kUndefinedByte;
            continue;
        }
        table[byte] = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }
    iconv_close(cd);
    return true;
}

unsigned GetACP() {
    unsigned ansi = explicitAnsi.load();
    return ansi != 0 ? ansi : AnsiFromLocale(CurrentLocale());
}

unsigned GetOEMCP() {
    unsigned oem = explicitOem.load();
    return oem != 0 ? oem : OemForAnsi(GetACP());
}

void SetCodePages(unsigned ansi, unsigned oem) {
    explicitAnsi.store(ansi);
    explicitOem.store(ansi == 0 ? 0 : oem);
}

void KeepLocaleForTheProcess() {
    if (!localeKept.load(std::memory_order_acquire)) {
        keptLocale = UserLocale();
        localeKept.store(true, std::memory_order_release);
    }
}

bool IsTurkishLocale() {
    unsigned ansi = explicitAnsi.load();
    if (ansi != 0) {
        return ansi == 1254;
    }
    return CurrentLocale().language == "tr";
}

std::string ConvertCodePage(std::string_view text, unsigned from, unsigned to) {
    if (from == to || text.empty()) {
        return std::string(text);
    }
    thread_local IconvCache cache;
    iconv_t cd = cache.Get(from, to);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(text);
    }
    std::string result;
    result.resize(text.size() * 4 + 16);
    std::size_t written = 0;
    const char* in = text.data();
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* inPtr = const_cast<char*>(in);
        char* outPtr = result.data() + written;
        std::size_t outLeft = result.size() - written;
        std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        int err = errno;
        written = static_cast<std::size_t>(outPtr - result.data());
        in = inPtr;
        if (rc != static_cast<std::size_t>(-1)) {
            break;
        }
        if (err == E2BIG) {
            result.resize(result.size() * 2);
            continue;
        }
        // A character the target cannot hold, or bytes that are no character
        // of the source: one "?" in its place.
        if (written == result.size()) {
            result.resize(result.size() * 2);
        }
        result[written++] = '?';
        std::size_t skip = err == EILSEQ ? CharLength(in, inLeft, from) : inLeft;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    result.resize(written);
    return result;
}

std::string OemToChar(std::string_view text) {
    return ConvertCodePage(text, GetOEMCP(), GetACP());
}

std::string CharToOem(std::string_view text) {
    return ConvertCodePage(text, GetACP(), GetOEMCP());
}

std::string AnsiToUtf8(std::string_view text) {
    return ConvertCodePage(text, GetACP(), CP_UTF8);
}

std::string Utf8ToAnsi(std::string_view text) {
    return ConvertCodePage(text, CP_UTF8, GetACP());
}

}  // namespace platform
