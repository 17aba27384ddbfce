#include <dirent.h>

#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "zendrilld/http/web_assets.h"

namespace zd::daemon {
namespace {

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every file of the page is built in, byte for byte, under its own name.
TEST(WebAssets, EveryFileOfThePageByteForByte) {
    DIR* dir = opendir(ZD_WEB_DIR);
    ASSERT_NE(dir, nullptr);
    std::set<std::string> names;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.') names.insert(e->d_name);
    closedir(dir);
    ASSERT_TRUE(names.count("index.html"));
    for (const std::string& name : names) {
        const WebAsset* a = find_web_asset("/" + name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(a->data), a->size), file_bytes(ZD_WEB_DIR "/" + name)) << name;
    }
}

TEST(WebAssets, PathsAndTypes) {
    const struct {
        const char* path;
        const char* type;  // nullptr: none
    } cases[] = {
        {"/", "text/html; charset=utf-8"},
        {"/index.html", "text/html; charset=utf-8"},
        {"/app.js", "text/javascript; charset=utf-8"},
        {"/style.css", "text/css; charset=utf-8"},
        {"", nullptr},
        {"app.js", nullptr},
        {"/APP.JS", nullptr},
        {"/app.js/", nullptr},
        {"/./app.js", nullptr},
        {"/../web/app.js", nullptr},
        {"/api/status", nullptr},
    };
    for (const auto& c : cases) {
        const WebAsset* a = find_web_asset(c.path);
        if (!c.type) {
            EXPECT_EQ(a, nullptr) << c.path;
            continue;
        }
        ASSERT_NE(a, nullptr) << c.path;
        EXPECT_STREQ(a->content_type, c.type) << c.path;
    }
    EXPECT_EQ(find_web_asset("/"), find_web_asset("/index.html"));
}

}  // namespace
}  // namespace zd::daemon
