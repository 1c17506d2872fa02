#pragma once
// The page and its files, compiled into the program (server/page/): the service reads
// no file at run time.

#include <string>
#include <string_view>

namespace quarvel::server {

struct Asset {
    std::string_view path;         // "/app.js"
    std::string_view contentType;  // "text/javascript; charset=utf-8"
    std::string_view body;
    std::string etag;  // quoted, strong: a hash of the body
};

// The file served at `path`, or null.
const Asset* FindAsset(std::string_view path);

}  // namespace quarvel::server
