#include "midlet/PlainMessages.h"

#include <array>
#include <charconv>
#include <string_view>

#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "midlet/Batch.h"

namespace midlet {

namespace {

// Sentences shared by several native errors.
constexpr const char* kInternal =
    "the archive engine met an internal fault; please report it with the file";
constexpr const char* kNotFound = "file%s not found";
constexpr const char* kCannotCreate =
    "cannot create the file%s (the disk may be full, the "
    "name may not fit a memory card, or it may lead out of "
    "its folder)";
constexpr const char* kCannotOpen = "cannot open the archive: it is damaged or no ZIP archive";
constexpr const char* kDamaged = "the archive is damaged";
constexpr const char* kUnsupported = "the archive uses a feature this program does not support";

// One sentence per native error, 0 to 62, indexed by number.
constexpr std::array<const char*, 66> kArchiveSentences = {
    kInternal,  // 0 unknown
    kInternal,  // 1 entry index out of range
    kInternal,  // 2
    kInternal,  // 3
    kInternal,  // 4
    "the compression level is not between 0 and 9",
    kInternal,  // 6 missing object
    "an entry vanished from the archive while it was being written",
    "an entry is damaged: its data does not match its size or CRC-32, or it is compressed "
    "by a method other than stored or deflated",
    "no archive file name was given",
    "no archive file name was given",
    kNotFound,       // 11
    "no such file",  // 12: the archive itself, which the caller names
    kInternal,       // 13 archive not open
    kInternal,       // 14
    kNotFound,       // 15
    kInternal,       // 16 entry index
    kUnsupported,    // 17 self-extracting stub
    kNotFound,       // 18
    kCannotCreate,
    "cannot create the folder%s",
    kInternal,  // 21
    kInternal,  // 22 update not started
    kCannotCreate,
    kInternal,  // 24 entry index
    kInternal,  // 25 update not started
    kInternal,  // 26 update not ended
    "cannot delete the file%s",
    kUnsupported,  // 28 in-memory archive
    "no archive file name was given",
    kNotFound,  // 30
    kNotFound,  // 31
    "the archive is open for reading only",
    "cannot open the file%s",
    "an entry is damaged: its compressed size does not match its data",
    "no ZIP archive: no ZIP record was found in it",
    "cannot write the archive: another program may hold it open",
    kInternal,  // 37 archive still open
    kNotFound,  // 38
    "cannot create a folder",
    "the archive is damaged: its ZIP64 end record is missing",
    "the file%s is too large for an archive without ZIP64",
    kNotFound,  // 42
    "the file%s is too large for an archive without ZIP64",
    kCannotOpen,  // 44
    kCannotOpen,  // 45
    "writing failed (the disk may be full)",
    kUnsupported,  // 47 stub on a volume
    kDamaged,      // 48
    kUnsupported,  // 49 SFX on a spanned archive
    kUnsupported,  // 50 SFX stub
    kUnsupported,  // 51 multi-volume stream
    kUnsupported,  // 52 multi-volume change
    kNotFound,     // 53
    kNotFound,     // 54
    "an entry is compressed with Deflate64, which this program cannot read",
    kUnsupported,  // 56 SFX
    kDamaged,      // 57
    kInternal,     // 58 name index out of step
    kInternal,     // 59
    "cannot delete the folder%s",
    "the name%s is too long",
    kUnsupported,  // 62 multi-volume transactions
    "another program is using the archive%s",
    "cannot update the archive%s",
    "the archive%s was updated, but may not be on the disk yet",
};

// What went wrong, as an engine message of an update tells it after the
// archive's quoted name and ": "; empty when it tells nothing more.
std::string DetailAfterPath(std::string_view message) {
    const auto open = message.find('"');
    const auto close = open == std::string_view::npos ? open : message.find("\": ", open + 1);
    if (close == std::string_view::npos) {
        return {};
    }
    std::string_view detail = message.substr(close + 3);
    const auto native = detail.find(" - Native error: ");
    detail = detail.substr(0, native);
    while (!detail.empty() && (detail.back() == '.' || detail.back() == ' ')) {
        detail.remove_suffix(1);
    }
    return std::string(detail);
}

// The first quoted path of an engine message ("..." or '...'), "" when it
// names none.
std::string QuotedPath(std::string_view message) {
    for (const char quote : {'"', '\''}) {
        const auto open = message.find(quote);
        const auto close = open == std::string_view::npos ? open : message.find(quote, open + 1);
        if (close != std::string_view::npos) {
            return std::string(message.substr(open + 1, close - open - 1));
        }
    }
    return {};
}

// The sentence with its "%s" filled by the path, when there is one.
std::string WithPath(const char* sentence, const std::string& path) {
    std::string text = sentence;
    const auto at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, path.empty() ? "" : " \"" + path + "\"");
    }
    return text;
}

// The native error at the end of an engine message (" - Native error:
// 000NN"), -1 when there is none.
int NativeErrorOf(std::string_view message) {
    constexpr std::string_view kMark = " - Native error: ";
    const auto at = message.find(kMark);
    if (at == std::string_view::npos) {
        return -1;
    }
    const char* first = message.data() + at + kMark.size();
    const char* last = message.data() + message.size();
    int code = -1;
    const auto [end, error] = std::from_chars(first, last, code);
    return error == std::errc() && end != first ? code : -1;
}

// The sentence of an engine failure; why it failed follows where the
// engine knows (an unsafe name, a link in the way, a full disk).
std::string ArchiveText(int nativeError, const std::string& message, const std::string& reason) {
    const char* sentence = ArchiveErrorSentence(nativeError);
    if (sentence == nullptr) {
        return kInternal;
    }
    std::string text = WithPath(sentence, QuotedPath(message));
    // A damaged entry's sentence says all its reason would.
    const std::string why = nativeError == archive::native::CorruptedEntry ? std::string()
                            : !reason.empty()                              ? reason
                            : nativeError == archive::native::UpdateFailed ||
                                    nativeError == archive::native::NotOnDiskYet
                                ? DetailAfterPath(message)
                                : std::string();
    if (why.empty()) {
        return text;
    }
    // The reason replaces the sentence's guesses in brackets.
    if (const auto guess = text.find(" ("); guess != std::string::npos && text.back() == ')') {
        text.erase(guess);
    }
    return text + ": " + why;
}

// The sentence of an exception, without the full stop.
std::string SentenceOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const JarFailure& jar) {
        return jar.Cause ? SentenceOf(jar.Cause) : std::string(jar.what());
    } catch (const NoManifestError&) {
        return "no META-INF/MANIFEST.MF in it, so it is no MIDlet suite";
    } catch (const archive::EZipException& zip) {
        return ArchiveText(zip.NativeError, zip.what(), zip.Reason);
    } catch (const platform::EInOutError& io) {
        return SystemErrorSentence(io.ErrorCode);
    } catch (const std::exception& other) {
        // The program's own messages (and the stream errors, which name
        // their file and the system's reason) are plain already.
        return other.what();
    } catch (...) {
        return "an unknown failure";
    }
}

// The sentence with its full stop, unless it ends in one already.
std::string Ended(std::string sentence) {
    if (!sentence.empty() && sentence.back() != '.' && sentence.back() != '?' &&
        sentence.back() != '!') {
        sentence += '.';
    }
    return sentence;
}

}  // namespace

const char* ArchiveErrorSentence(int nativeError) {
    if (nativeError < 0 || nativeError >= static_cast<int>(kArchiveSentences.size())) {
        return nullptr;
    }
    return kArchiveSentences[static_cast<std::size_t>(nativeError)];
}

std::string SystemErrorSentence(unsigned code) {
    switch (code) {
        case platform::ERROR_FILE_NOT_FOUND:
            return "a file is missing";
        case platform::ERROR_PATH_NOT_FOUND:
            return "a folder is missing";
        case platform::ERROR_TOO_MANY_OPEN_FILES:
            return "too many files are open";
        case platform::ERROR_ACCESS_DENIED:
            return "access denied (the file or its folder may be read-only)";
        case platform::ERROR_SHARING_VIOLATION:
            return "another program is using the file";
        case platform::ERROR_FILE_EXISTS:
        case platform::ERROR_ALREADY_EXISTS:
            return "a file or folder of that name exists already";
        case 100:
            return "a file ends before its data does";
        case 101:
        case platform::ERROR_DISK_FULL:
            return "the disk is full";
        case platform::ERROR_INVALID_NAME:
            return "a name holds a character a memory card cannot hold";
        case platform::ERROR_DIR_NOT_EMPTY:
            return "a folder is not empty";
        case platform::ERROR_FILENAME_EXCED_RANGE:
            return "a name or path is too long";
        case platform::ERROR_DIRECTORY:
            return "a file stands where a folder is wanted";
        default:
            return "the system reported error " + std::to_string(code);
    }
}

std::string PlainFailureText(std::exception_ptr failure) {
    return Ended(SentenceOf(failure));
}

std::string PlainQuestionText(const std::string& question) {
    const int nativeError = NativeErrorOf(question);
    if (nativeError < 0) {
        return question;
    }
    // A failure question ends with why the entry failed, where the engine
    // knows it.
    constexpr std::string_view kReason = ". File processing error: ";
    const auto at = question.rfind(kReason);
    const std::string reason =
        at == std::string::npos ? std::string() : question.substr(at + kReason.size());
    return Ended(ArchiveText(nativeError, question, reason));
}

}  // namespace midlet
