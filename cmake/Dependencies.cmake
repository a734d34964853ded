# Every dependency is a Debian package (tools/setup.sh installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(CURL REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
find_package(jsoncpp CONFIG REQUIRED)
find_package(pugixml CONFIG REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS filesystem thread)
find_package(glm CONFIG REQUIRED)
find_package(utf8cpp CONFIG REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
find_package(LibXml2 REQUIRED)
# The stand-in dialog manager's pictures: Cairo (drawing, PNG), FreeType with the
# font package's file, libjpeg-turbo (JPEG).
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo cairo-ft freetype2)
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
find_file(STANDIN_FONT_FILE DejaVuSans.ttf PATHS /usr/share/fonts/truetype/dejavu REQUIRED NO_DEFAULT_PATH)
find_package(GTest CONFIG REQUIRED)

if(NOT TARGET glm::glm)
  add_library(glm::glm ALIAS glm)
endif()
