// The local vocabulary file: loaded, then saved over (keeping its other keys), then loaded again, which must give
// back what was saved. Inside the scratch directory.
#include "FuzzSupport.h"
#include "transport/VocabularyFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vokari::fuzz::clearScratch();
    static const auto path = vokari::fuzz::scratchDir() / "vocabulary.json";
    vokari::fuzz::writeFile(path, vokari::fuzz::bytesOf(data, size));
    auto vocab = vokari::VocabularyFile::load(path).value_or("");
    vocab += ", Vokari";
    vokari::VocabularyFile::save(path, vocab);
    if (vokari::VocabularyFile::load(path) != vocab) {
        std::abort();
    }
    return 0;
}
