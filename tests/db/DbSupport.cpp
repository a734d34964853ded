#include "DbSupport.hpp"

namespace tarvel::testing {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no line feed>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Geom(const std::string& body) { return "<?xml version=\"1.0\"?>\n<geom>" + body + "</geom>\n"; }

std::string DbFixture::WriteCad(const std::string& xml, const std::string& name)
{
    const auto path = Temp().Path() / name;
    WriteFile(path, xml);
    return path.string();
}

std::vector<std::string> DbFixture::Warnings()
{
    std::vector<std::string> out;
    for (const auto& line : ReportLines())
        if (line.rfind("cad data xml import warning: ", 0) == 0)
            out.push_back(line);
    return out;
}

std::string Script(const TarvelDB& database)
{
    GdlWriter writer;
    GenerateGdlFromDatabase(database, writer);
    return writer.GetScript();
}

}  // namespace tarvel::testing
