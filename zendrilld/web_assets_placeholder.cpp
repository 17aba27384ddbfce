#include "zendrilld/web_assets.h"

namespace zd::daemon {

namespace {
const unsigned char kIndex[] = "<!doctype html><title>B203</title><p>zendrilld</p>";
const WebAsset kAssets[] = {{"/", "text/html; charset=utf-8", kIndex, sizeof kIndex - 1}};
}  // namespace

const WebAsset* find_web_asset(const std::string& path) {
    for (const WebAsset& a : kAssets)
        if (path == a.path) return &a;
    return nullptr;
}

}  // namespace zd::daemon
