#include "GdlChecker.hpp"

#include "DbSupport.hpp"

#include <cstdlib>
#include <set>

namespace tarvel::testing {
namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A number as the six-digit notation writes it: -?digits[.digits][e(+|-)dd+], inf or nan.
bool IsNumberText(const std::string& v)
{
    std::size_t i = v.empty() || v[0] != '-' ? 0 : 1;
    if (v.compare(i, std::string::npos, "inf") == 0 || v.compare(i, std::string::npos, "nan") == 0)
        return true;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9')
            ++i;
        return i > start;
    };
    if (!digits())
        return false;
    if (i < v.size() && v[i] == '.') {
        ++i;
        if (!digits())
            return false;
    }
    if (i < v.size() && v[i] == 'e') {
        ++i;
        if (i >= v.size() || (v[i] != '+' && v[i] != '-'))
            return false;
        ++i;
        const std::size_t start = i;
        if (!digits() || i - start < 2)
            return false;
    }
    return i == v.size();
}

// An unquoted GDL name: a letter or "_", then letters, digits and "_".
bool IsBareName(const std::string& name)
{
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (name.empty() || !letter(name[0]))
        return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

// A group operand: a quoted name or an unquoted one.
bool IsGroupOperand(const std::string& operand)
{
    return (operand.size() >= 2 && operand.front() == '"' && operand.back() == '"') || IsBareName(operand);
}

// "X = OP (a, b)"
bool ParseCombination(const std::string& line, std::string& result, std::string& left, std::string& right)
{
    for (const char* op : {" = ADDGROUP (", " = SUBGROUP (", " = ISECTGROUP ("}) {
        const std::size_t at = line.find(op);
        if (at == std::string::npos || line.back() != ')')
            continue;
        result = line.substr(0, at);
        const std::string operands = line.substr(at + std::string(op).size(), line.size() - at - std::string(op).size() - 1);
        const std::size_t comma = operands.rfind(", ");
        if (comma == std::string::npos)
            return false;
        left = operands.substr(0, comma);
        right = operands.substr(comma + 2);
        return !result.empty();
    }
    return false;
}

}  // namespace

std::vector<std::string> CheckGdlScript(const std::string& script)
{
    std::vector<std::string> problems;
    const auto lines = SplitLines(script);
    const auto problem = [&](std::size_t i, const std::string& what) {
        problems.push_back("line " + std::to_string(i + 1) + ": " + what + " [" + (i < lines.size() ? lines[i] : "") +
                           "]");
    };

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
        std::string result, left, right;
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
                    if (!IsNumberText(value))
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
        } else if (ParseCombination(line, result, left, right)) {
            if (inGroup)
                problem(i, "combination inside a group");
            if (!IsBareName(result))
                problem(i, "result name is no GDL name: " + result);
            for (const std::string* operand : {&left, &right}) {
                if (defined.count(*operand) == 0)
                    problem(i, "undefined operand " + *operand);
                if (!IsGroupOperand(*operand))
                    problem(i, "operand is no GDL name: " + *operand);
            }
            defined.insert(result);
            if (i + 1 >= lines.size() || !lines[i + 1].empty())
                problem(i, "combination without its empty line");
        } else if (StartsWith(line, "PLACEGROUP ")) {
            if (inGroup)
                problem(i, "PLACEGROUP inside a group");
            if (defined.count(line.substr(11)) == 0)
                problem(i, "placing an undefined group");
            if (!IsGroupOperand(line.substr(11)))
                problem(i, "placing what is no GDL name");
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
