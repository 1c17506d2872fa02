#pragma once
#include <cstddef>
#include <string_view>

namespace quarvel::render {

struct Entity {
    std::string_view name;
    char32_t code;
};

inline constexpr std::size_t kLongestEntityName = 8;  // "thetasym"

const Entity* FindEntityByName(std::string_view name);
const Entity* FindEntityByCode(char32_t code);

}  // namespace quarvel::render
