// What the preparation takes from the suite facts: the keys a full JAD
// carries over from the suite's original JAD, and the refusal of an
// archive that is an application of another platform.
#pragma once

#include <string>
#include <vector>

#include "midlet/Session.h"

namespace archive {
class TZipBaseArchiver;
}

namespace midlet {

// The original JAD of a listed JAR: the one the options name, else the JAD
// beside it (same name, .jad); empty when there is none.
std::string OriginalJadOf(const RunOptions& options, const std::string& listed);

// The lines a full JAD takes from `originalJad` after its manifest part
// (`manifestPart`, the JAD's text so far): every key of the original JAD
// that the manifest part lacks, in the original JAD's order, as
// "name: value" with the value an installer reads (the last one given).
// MIDlet-Jar-Size and MIDlet-Jar-URL are stated anew by the tail, and the
// signature keys no longer fit the changed JAR, so none of them is taken.
std::vector<std::string> OriginalJadLines(const std::string& originalJad,
                                          const std::string& manifestPart);

// Fails the open JAR, when it is an application of another platform
// (i-mode/DoJa, WIPI, a BlackBerry module), with a message naming that.
// `originalJad` may be empty.
void RefuseOtherPlatforms(archive::TZipBaseArchiver& zip, const std::string& listed,
                          const std::string& originalJad);

}  // namespace midlet
