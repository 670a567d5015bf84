#include "archive/ZipArchiver.h"

namespace archive {

// Ends the outermost transaction. Nothing can change an entry yet, so there
// is nothing to write; refreshing entries brings the full commit.
void TZipBaseArchiver::Commit() {
    if (transactionDepth_ == 0) {
        return;
    }
    transactionDepth_ = 0;
    cancelled_ = false;
    processedCount_ = 0;
}

}  // namespace archive
