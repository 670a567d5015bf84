// Enumerations and plain value types shared by the whole archive engine.
#pragma once

#include <cstdint>

namespace archive {

// Answer of the per-entry failure decision.
enum TZipAction : std::uint8_t { fxaRetry = 0, fxaIgnore = 1, fxaAbort = 2 };

// Operation applied to an entry or running over the selected entries.
enum TZipProcessOperation : std::uint8_t {
    poNone = 0,
    poAdd,
    poMove,
    poDelete,
    poUpdate,
    poExtract,
    poTest,
    poRename,
    poChangeAttr,
    poChangeComment,
};

enum TZipProgressPhase : std::uint8_t { ppStart = 0, ppProcess = 1, ppEnd = 2 };

enum TZipCompressionLevel : std::uint8_t { clNone = 0, clFastest, clNormal, clMax };

enum TZipSpanningMode : std::uint8_t { smNone = 0, smSpanning, smSplitting };

enum TZip64Mode : std::uint8_t { zmDisabled = 0, zmAuto, zmAlways };

enum TZipStorePathMode : std::uint8_t {
    spNoPath = 0,
    spRelativePath,
    spFullPath,
    spFullPathWithDrive,
};

enum TZipFileShareMode : std::uint8_t {
    smShareCompat = 0,
    smShareExclusive,
    smShareDenyWrite,
    smShareDenyRead,
    smShareDenyNone,
};

enum TZipOverwriteMode : std::uint8_t { omPrompt = 0, omAlways, omNever, omIfNewer, omIfOlder };

// Volume size of a spanned archive (never used on a single file).
enum VolumeSizeKind : std::uint8_t {
    vsAutoDetect = 0,
    vsCustom,
    vs1_44MB,
    vs100MB,
    vs200MB,
    vs250MB,
    vs600MB,
    vs650MB,
    vs700MB,
    vs4700MB,
};

// Whose text a file mask is. A user's mask compares letters by the locale's
// rules, and an ASCII letter in it also matches the same ASCII letter of
// either case; a mask fixed in the program compares ASCII letters by ASCII
// rules alone, whatever the locale, and every other character exactly.
enum class MaskText : std::uint8_t { User, Fixed };

}  // namespace archive
