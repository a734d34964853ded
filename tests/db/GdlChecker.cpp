#include "GdlChecker.hpp"

#include "DbSupport.hpp"

#include <cstdlib>
#include <regex>
#include <set>

namespace tarvel::testing {
namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::vector<std::string> CheckGdlScript(const std::string& script)
{
    std::vector<std::string> problems;
    const auto lines = SplitLines(script);
    const auto problem = [&](std::size_t i, const std::string& what) {
        problems.push_back("line " + std::to_string(i + 1) + ": " + what + " [" + (i < lines.size() ? lines[i] : "") +
                           "]");
    };
    static const std::regex combination(R"(^(.+) = (ADDGROUP|SUBGROUP|ISECTGROUP) \((.+), (.+)\)$)");
    static const std::regex number(R"(^-?(\d+(\.\d+)?(e[+-]\d\d+)?|inf|nan)$)");

    std::set<std::string> defined;
    bool inGroup = false;
    long transforms = 0;  // pushed by the current solid and not yet removed
    long points = 0;      // profile points stored and not yet consumed
    std::size_t header = 0;
    const char* headerLines[] = {"BODY -1", "MODEL SOLID", "PEN 1", "MATERIAL 0", ""};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.find('\r') != std::string::npos)
            problem(i, "carriage return");
        if (header < 5) {
            if (line != headerLines[header])
                problem(i, "header line expected");
            ++header;
            continue;
        }
        std::smatch m;
        if (StartsWith(line, "    ")) {
            const std::string body = line.substr(4);
            if (!inGroup)
                problem(i, "body line outside a group");
            if (StartsWith(body, "XFORM ") || StartsWith(body, "ADD ") || StartsWith(body, "ROTX ") ||
                StartsWith(body, "ROTY ") || StartsWith(body, "ROTZ ") || StartsWith(body, "MULX ") ||
                StartsWith(body, "MULY ") || StartsWith(body, "MULZ ")) {
                ++transforms;
            } else if (StartsWith(body, "DEL ")) {
                transforms -= std::atol(body.c_str() + 4);
                if (transforms < 0)
                    problem(i, "DEL removes more than the solid pushed");
            } else if (StartsWith(body, "PUT ")) {
                ++points;
            } else if (body == "RESOL 36") {
                if (points != 0)
                    problem(i, "RESOL with points pending");
            } else if (StartsWith(body, "PRISM_ NSP/3, ") || StartsWith(body, "REVOLVE NSP/3, ")) {
                if (i + 1 >= lines.size() || lines[i + 1] != "        GET(NSP)")
                    problem(i, "statement without GET(NSP)");
                points = 0;
            } else if (body == "    GET(NSP)") {
                // consumed above
            } else if (!(StartsWith(body, "BLOCK ") || StartsWith(body, "CONE ") || StartsWith(body, "CYLIND ") ||
                         StartsWith(body, "SPHERE ") || StartsWith(body, "REVOLVE 2, 360, 128, "))) {
                problem(i, "unknown body statement");
            }
            // every number of a statement is a plain number text
            if (!StartsWith(body, "REVOLVE NSP/3") && !StartsWith(body, "PRISM_") && body != "    GET(NSP)") {
                const std::size_t blank = body.find(' ');
                std::string rest = blank == std::string::npos ? "" : body.substr(blank + 1);
                std::size_t start = 0;
                while (start <= rest.size() && !rest.empty()) {
                    std::size_t comma = rest.find(", ", start);
                    const std::string value = rest.substr(start, comma == std::string::npos ? std::string::npos
                                                                                             : comma - start);
                    if (!std::regex_match(value, number))
                        problem(i, "not a number: " + value);
                    if (comma == std::string::npos)
                        break;
                    start = comma + 2;
                }
            }
            continue;
        }
        if (StartsWith(line, "GROUP \"")) {
            if (inGroup)
                problem(i, "GROUP inside a group");
            if (line.back() != '"' || line.size() < 9)
                problem(i, "group name not quoted");
            inGroup = true;
            transforms = 0;
            points = 0;
            defined.insert(line.substr(6));
        } else if (line == "ENDGROUP") {
            if (!inGroup)
                problem(i, "ENDGROUP without GROUP");
            if (transforms != 0)
                problem(i, "transformations left on the stack: " + std::to_string(transforms));
            if (points != 0)
                problem(i, "profile points left unconsumed");
            inGroup = false;
        } else if (std::regex_match(line, m, combination)) {
            if (inGroup)
                problem(i, "combination inside a group");
            for (int operand : {3, 4})
                if (defined.count(m[operand].str()) == 0)
                    problem(i, "undefined operand " + m[operand].str());
            defined.insert(m[1].str());
            if (i + 1 >= lines.size() || !lines[i + 1].empty())
                problem(i, "combination without its empty line");
        } else if (StartsWith(line, "PLACEGROUP ")) {
            if (inGroup)
                problem(i, "PLACEGROUP inside a group");
            if (defined.count(line.substr(11)) == 0)
                problem(i, "placing an undefined group");
        } else if (StartsWith(line, "SET MATERIAL \"")) {
            if (inGroup)
                problem(i, "material inside a group");
        } else if (StartsWith(line, "! ")) {
            // the refusal of a revolve
        } else if (!line.empty()) {
            problem(i, "unknown line");
        }
    }
    if (inGroup)
        problem(lines.size(), "text ends inside a group");
    if (header < 5 && !script.empty())
        problem(lines.size(), "header incomplete");
    return problems;
}

}  // namespace tarvel::testing
