# Turns the web page's files into a C++ source of byte arrays behind
# zendrilld/http/web_assets.h, so the daemon serves its page with nothing
# installed beside it. Run as a script:
#   cmake -DWEB_DIR=<dir> -DOUT=<file.cpp> -P web_assets.cmake
# The output depends only on the files' names and bytes: sorted, no dates,
# no paths of the build machine. Each file comes also gzip-compressed (for
# clients that accept it; the member's header carries no time and no name,
# so it is the same in every build) and with an ETag from its SHA-256.
cmake_minimum_required(VERSION 3.20)

# Every file has to be one the browser gets with the right type.
set(zd_types
  "html=text/html\; charset=utf-8"
  "js=text/javascript\; charset=utf-8"
  "css=text/css\; charset=utf-8"
  "svg=image/svg+xml\; charset=utf-8"
  "json=application/json\; charset=utf-8"
  "webmanifest=application/manifest+json\; charset=utf-8"
  "png=image/png"
  "ico=image/x-icon")
# What the page may weigh in all (the goal is a phone on a weak network).
set(zd_budget 102400)

if(NOT WEB_DIR OR NOT OUT)
  message(FATAL_ERROR "web_assets.cmake needs -DWEB_DIR and -DOUT")
endif()
file(GLOB zd_files LIST_DIRECTORIES true RELATIVE ${WEB_DIR} ${WEB_DIR}/*)
list(SORT zd_files)
if(NOT "index.html" IN_LIST zd_files)
  message(FATAL_ERROR "${WEB_DIR} has no index.html")
endif()

# Sixteen bytes a line (CMake's expressions know no {16}).
string(REPEAT "0x..," 16 zd_row)
set(zd_arrays "")
set(zd_table "")
set(zd_total 0)
set(zd_n 0)
foreach(name IN LISTS zd_files)
  if(IS_DIRECTORY ${WEB_DIR}/${name})
    message(FATAL_ERROR "${WEB_DIR}/${name}: the page's files lie in one folder, without subfolders")
  endif()
  if(NOT name MATCHES "^[A-Za-z0-9_-][A-Za-z0-9._-]*$")
    message(FATAL_ERROR "${WEB_DIR}/${name}: a file name of letters, digits, '.', '_' and '-' only")
  endif()
  string(REGEX MATCH "[^.]*$" ext "${name}")
  set(type "")
  foreach(entry IN LISTS zd_types)
    string(FIND "${entry}" "=" eq)
    string(SUBSTRING "${entry}" 0 ${eq} key)
    if(key STREQUAL ext)
      math(EXPR eq "${eq} + 1")
      string(SUBSTRING "${entry}" ${eq} -1 type)
    endif()
  endforeach()
  if(type STREQUAL "")
    message(FATAL_ERROR "${WEB_DIR}/${name}: no content type for .${ext} files")
  endif()

  file(SIZE ${WEB_DIR}/${name} size)
  math(EXPR zd_total "${zd_total} + ${size}")
  if(size EQUAL 0)
    set(bytes "0")
  else()
    file(READ ${WEB_DIR}/${name} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(${zd_row})" "\\1\n" bytes "${bytes}")
  endif()
  string(APPEND zd_arrays "// ${name}\nconst unsigned char kFile${zd_n}[] = {\n${bytes}\n};\n")

  # CMake's own gzip (libarchive), so cross builds need no tool of the target.
  get_filename_component(zd_out_dir ${OUT} DIRECTORY)
  set(zd_gz ${zd_out_dir}/web_asset.gz)
  file(ARCHIVE_CREATE OUTPUT ${zd_gz} PATHS ${WEB_DIR}/${name} FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
  file(SIZE ${zd_gz} gz_size)
  file(READ ${zd_gz} gz_hex HEX)
  file(REMOVE ${zd_gz})
  string(SUBSTRING "${gz_hex}" 0 8 gz_magic)
  if(NOT gz_magic STREQUAL "1f8b0800")
    message(FATAL_ERROR "${name}: the gzip member has a header of its own (${gz_magic})")
  endif()
  # No modification time (bytes 4-7), and the same system byte (9) everywhere.
  string(SUBSTRING "${gz_hex}" 16 2 gz_xfl)
  string(SUBSTRING "${gz_hex}" 20 -1 gz_rest)
  set(gz_hex "1f8b080000000000${gz_xfl}03${gz_rest}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," gz_bytes "${gz_hex}")
  string(REGEX REPLACE "(${zd_row})" "\\1\n" gz_bytes "${gz_bytes}")
  string(APPEND zd_arrays "const unsigned char kGzip${zd_n}[] = {\n${gz_bytes}\n};\n")
  file(SHA256 ${WEB_DIR}/${name} sha)
  string(SUBSTRING "${sha}" 0 20 etag)
  string(APPEND zd_table "    {\"/${name}\", \"${type}\", kFile${zd_n}, ${size}, kGzip${zd_n}, ${gz_size}, \"\\\"${etag}\\\"\"},\n")
  math(EXPR zd_n "${zd_n} + 1")
endforeach()
if(zd_total GREATER zd_budget)
  message(FATAL_ERROR "The page's files weigh ${zd_total} bytes, more than the ${zd_budget} a phone should load")
endif()

file(WRITE ${OUT} "// Made from zendrilld/http/web/ by cmake/web_assets.cmake; edit those files instead.
#include \"zendrilld/http/web_assets.h\"

namespace zd::daemon {

namespace {

${zd_arrays}
const WebAsset kAssets[] = {
${zd_table}};

}  // namespace

const WebAsset* find_web_asset(const std::string& path) {
    const std::string wanted = path == \"/\" ? \"/index.html\" : path;
    for (const WebAsset& a : kAssets)
        if (wanted == a.path) return &a;
    return nullptr;
}

}  // namespace zd::daemon
")
