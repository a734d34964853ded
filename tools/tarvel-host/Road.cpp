#include "Road.hpp"

#include <ostream>

namespace tarvel::runner {

void Road::Say(const std::string& line) { out_ << "      " << line << '\n'; }

bool Road::Step(const std::string& name, const std::function<void()>& work)
{
    if (!failedStep_.empty())
        return false;
    ++steps_;
    out_ << "[" << steps_ << "] " << name << std::endl;
    const auto start = std::chrono::steady_clock::now();
    std::string failure;
    const auto attempt = [&failure](const std::function<void()>& part) {
        try {
            part();
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "an exception of unknown type";
        }
    };
    attempt(work);
    // What the step caused is told even when it failed; its own failure comes first.
    const std::string workFailure = failure;
    if (afterStep)
        attempt(afterStep);
    if (!workFailure.empty())
        failure = workFailure;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (!failure.empty()) {
        out_ << "      FAILED: " << failure << std::endl;
        failedStep_ = name;
        return false;
    }
    out_ << "      done in " << ms.count() << " ms" << std::endl;
    return true;
}

}  // namespace tarvel::runner
