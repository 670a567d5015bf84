// The JAR list of quellor-batch, from what the command line names: JARs,
// folders that stand for the JARs in them, and lists of paths read from a
// file or standard input, in the order given.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace tools {

// One thing the command line names, in its place among the others.
struct BatchInput {
    enum class Kind {
        Path,  // a JAR, or a folder of JARs
        List,  // a file of paths, one a line; "-" for standard input
    };
    Kind kind = Kind::Path;
    std::string text;
};

struct ListingOptions {
    bool recursive = false;     // a folder's sub-folders too
    bool nulSeparated = false;  // lists hold names ended by NUL, not lines
};

// An input that cannot be read: a folder or a list file. The message names
// it and says why.
class InputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// True when `name` ends in ".jar", in any letter case: collections copied
// from phones and old disks hold GAME.JAR as often as game.jar.
bool HasJarExtension(const std::string& name);

// The files whose names end in ".jar" in `folder`, and below it when
// `recursive`, sorted by the bytes of their paths. A link to a file counts
// as the file; a link to a folder is not followed. Raises InputError when a
// folder cannot be read.
std::vector<std::string> JarsInFolder(const std::string& folder, bool recursive);

// The paths a list holds: one a line (CR LF read as LF) or, with
// `nulSeparated`, one per NUL-ended name; empty entries are skipped.
std::vector<std::string> PathsInList(std::istream& in, bool nulSeparated);

// Every JAR the inputs stand for, in their order: a path that names a
// folder gives the JARs in it, any other path is listed as it is (a missing
// JAR is the run's to report), and a list's paths are taken the same way.
// `standardInput` is read for the list "-". Raises InputError.
std::vector<std::string> CollectJars(const std::vector<BatchInput>& inputs,
                                     const ListingOptions& options, std::istream& standardInput);

}  // namespace tools
