// quarvel-code-detect FILE...: the code `--code auto` reads each document in, one line
// per file ("FILE<TAB>Shift_JIS"), and the time it took for them all on standard error;
// scripts/bench-code-detection.sh sets it against uchardet on the same documents.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/document_code.h"

int main(int argc, char** argv) {
    std::vector<std::string> documents;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        documents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<quarvel::engine::DocumentCode> codes;
    for (const std::string& document : documents) codes.push_back(quarvel::engine::DetectDocumentCode(document));
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    for (std::size_t i = 0; i < codes.size(); ++i)
        std::printf("%s\t%s\n", argv[i + 1], std::string(quarvel::engine::CodeName(codes[i])).c_str());
    std::fprintf(stderr, "%zu documents in %.0f us\n", documents.size(), took.count());
    return 0;
}
