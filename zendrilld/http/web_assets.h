#pragma once
#include <cstddef>
#include <string>
namespace zd::daemon {
struct WebAsset {
    const char* path;
    const char* content_type;
    const unsigned char* data;
    std::size_t size;
    const unsigned char* gzip;  // the same, one gzip member
    std::size_t gzip_size;
    const char* etag;  // "\"<part of its SHA-256>\"", quotes and all
};
// The page's files built into the program; "/" is index.html. Null when there is none.
const WebAsset* find_web_asset(const std::string& path);
}
