// The loopback catalogue's work on a user's configuration: reading the rows of CAD data
// and writing the configurator's answer (CadConfigurationRows, ConfiguredCadXml), for
// configurations of 12,500 to 200,000 rows, against pugixml parsing the same bytes
// and saving them with the changed value (the fastest general way to read and rewrite
// XML, though it keeps neither the file's encoding nor its bytes). Alternating the two,
// it prints the medians, the time per megabyte (flat when the work is linear in the
// file's size) and the ratio.
#include "CatalogueContent.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string CadData(std::size_t rows)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<geom>\n  <tvConfiguration>\n    <configParams>\n";
    for (std::size_t i = 0; i < rows; ++i)
        xml += "      <configPos pos=\"" + std::to_string(i + 1) + "\" name=\"p" + std::to_string(i) + "\" value=\"ge\xC3\xB6lt " +
               std::to_string(i) + "\" type=\"text\"/>\n";
    return xml + "    </configParams>\n  </tvConfiguration>\n  <materialsList/>\n</geom>\n";
}

// The services' way: the rows read, the first value changed, the answer written.
std::size_t Services(const std::string& cad)
{
    auto rows = standin::services::CadConfigurationRows(cad);
    rows.front().second = "changed";
    return standin::services::ConfiguredCadXml(cad, rows).size() + rows.size();
}

// pugixml's way: parsed, the rows read, the first value changed, the document saved.
std::size_t Pugi(const std::string& cad)
{
    pugi::xml_document document;
    document.load_buffer(cad.data(), cad.size());
    std::vector<std::pair<std::string, std::string>> rows;
    const pugi::xpath_node_set nodes = document.select_nodes("/geom/tvConfiguration/configParams/configPos");
    for (const pugi::xpath_node& node : nodes)
        rows.emplace_back(node.node().attribute("name").value(), node.node().attribute("value").value());
    nodes.first().node().attribute("value").set_value("changed");
    std::ostringstream out;
    document.save(out, "", pugi::format_raw);
    return out.str().size() + rows.size();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    std::printf("%9s %9s %14s %14s %12s %12s %7s\n", "rows", "MB", "services ms", "pugixml ms", "services/MB",
                "pugixml/MB", "ratio");
    std::size_t sink = 0;
    for (const std::size_t rows : {12'500u, 25'000u, 50'000u, 100'000u, 200'000u}) {
        const std::string cad = CadData(rows);
        const double megabytes = static_cast<double>(cad.size()) / (1024 * 1024);
        std::vector<double> services, pugi;
        for (int run = 0; run < runs; ++run) {
            for (const bool first : {true, false}) {
                const auto start = Clock::now();
                sink += first ? Services(cad) : Pugi(cad);
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                (first ? services : pugi).push_back(ms);
            }
        }
        const double s = Median(services), p = Median(pugi);
        std::printf("%9zu %9.1f %14.1f %14.1f %12.1f %12.1f %7.2f\n", rows, megabytes, s, p, s / megabytes,
                    p / megabytes, s / p);
    }
    return sink == 0 ? 1 : 0;
}
