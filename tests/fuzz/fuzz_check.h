#pragma once
// What the harnesses share: a check that stops the run (libFuzzer then keeps the
// input as a crash) and a reader for inputs that carry a few fields ahead of the text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// fontconfig keeps its configuration and caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace quarvel::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Takes fields off the front of an input: single bytes and texts that end at a
// terminating byte (the terminator is dropped). What remains is the rest.
class FieldReader {
public:
    explicit FieldReader(std::string_view input) : rest_(input) {}

    std::uint8_t Byte() {
        if (rest_.empty()) return 0;
        auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    std::string_view Until(char terminator) {
        std::size_t end = rest_.find(terminator);
        std::string_view field = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return field;
    }
    std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
};

}  // namespace quarvel::fuzz
