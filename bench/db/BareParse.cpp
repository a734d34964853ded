// The bare parse that the benchmark compares with: pugixml's load_file of one file,
// nothing else. Usage: bench_bare_parse FILE
#include <pugixml.hpp>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    pugi::xml_document document;
    return document.load_file(argv[1]) ? 0 : 1;
}
