#pragma once
// The page and its files, compiled into the program (server/page/): the service reads
// no file at run time.

#include <string>
#include <string_view>

#include "platform/language.h"

namespace quarvel::server {

struct Asset {
    std::string_view path;         // "/app.js"
    std::string_view contentType;  // "text/javascript; charset=utf-8"
    std::string_view body;
    std::string etag;  // quoted, strong: a hash of the body
};

// The file served at `path`, or null. The page (/) is served in the language it is
// shown in: its words are in Japanese, and its script shows them in English where the
// page says <html lang="en">, so the two differ in that attribute and their tags.
const Asset* FindAsset(std::string_view path, platform::Language language = platform::Language::japanese);

}  // namespace quarvel::server
