#include "Road.hpp"

#include <chrono>
#include <ostream>

namespace tarvel::runner {

void Road::Say(const std::string& line) { out_ << "      " << line << std::endl; }

void Road::Stage(const std::string& name)
{
    stage_ = name;
    out_ << "  [" << steps_ << "." << ++stages_ << "] " << name << std::endl;
}

bool Road::Step(const std::string& name, const std::function<void()>& work)
{
    if (!failedStep_.empty())
        return false;
    ++steps_;
    stages_ = 0;
    stage_.clear();
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
        failedStep_ = stage_.empty() ? name : name + ", at: " + stage_;
        return false;
    }
    out_ << "      done in " << ms.count() << " ms" << std::endl;
    return true;
}

}  // namespace tarvel::runner
