// quellor-batch run as a user runs it, for its tests: a program folder of
// its own, JARs in a folder beside it, and what the run printed.
#pragma once

#include <string>
#include <vector>

#include "midlet/PrepareSupport.h"

namespace preptest {

inline const std::string kTool = QUELLOR_BINARY_DIR "/tools/quellor-batch";
inline const std::string kNoManifest = "no META-INF/MANIFEST.MF in it, so it is no MIDlet suite.";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class QuellorBatch : public Workspace {
  protected:
    // Runs the tool in `cwd` (the JAR folder by default) with these arguments.
    // What `input` holds is its standard input.
    Result RunTool(const std::vector<std::string>& args, const std::string& tool = kTool,
                   std::string cwd = {}, const std::string& input = {}) {
        if (cwd.empty()) {
            cwd = In("");
        }
        fs::create_directories(cwd);
        std::string command = "cd " + Quote(cwd) + " && " + Quote(tool);
        for (const std::string& arg : args) {
            command.append(" ").append(Quote(arg));
        }
        const std::string out = Program() + "stdout.txt";
        const std::string err = Program() + "stderr.txt";
        const std::string in = Program() + "stdin.txt";
        WriteBytes(in, input);
        Result result;
        result.status =
            Shell(command + " >" + Quote(out) + " 2>" + Quote(err) + " <" + Quote(in)).status;
        result.out = ReadBytes(out);
        result.err = ReadBytes(err);
        fs::remove(out);
        fs::remove(err);
        fs::remove(in);
        return result;
    }

    // The tool's run over JARs, with the workspace as its program folder.
    Result Prepare(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--program-folder", Program()});
        return RunTool(args, kTool, {}, input);
    }

    // A log line about the listed JAR `file` of the JAR folder.
    std::string Log(const std::string& file, const std::string& line) {
        return In(file) + ": " + line + "\n";
    }

    std::string Listed(const std::string& file, const std::string& name) {
        MakeZipJar(In(file), SimpleManifest(name), {{"icon.png", TinyPng()}});
        return In(file);
    }
};

}  // namespace preptest
