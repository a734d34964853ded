#include "Road.hpp"

#include <chrono>
#include <ostream>

namespace tarvel::runner {

void Road::Say(const std::string& line) { out_ << "      " << line << std::endl; }

void Road::Stage(const std::string& name)
{
    stage_ = name;
    out_ << "  [" << steps_ << "." << ++stages_ << "] " << name << std::endl;
    SetWhere();
}

std::string Road::Where() const
{
    std::lock_guard lock(whereMutex_);
    return where_;
}

void Road::SetWhere()
{
    std::lock_guard lock(whereMutex_);
    where_ = "step " + std::to_string(steps_) + ": " + name_ + (stage_.empty() ? "" : ", at: " + stage_);
}

bool Road::Step(const std::string& name, const std::function<void()>& work)
{
    if (!failedStep_.empty())
        return false;
    ++steps_;
    stages_ = 0;
    stage_.clear();
    name_ = name;
    SetWhere();
    out_ << "[" << steps_ << "] " << name << std::endl;
    const auto start = std::chrono::steady_clock::now();
    std::string failure;
    std::vector<std::string> later;
    const auto attempt = [&failure, &later](const std::function<void()>& part) {
        try {
            part();
        } catch (const StepFailed& e) {
            failure = e.what();
            later = e.later;
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "an exception of unknown type";
        }
    };
    if (beforeStep)
        attempt(beforeStep);
    if (failure.empty())
        attempt(work);
    // What the step caused is told even when it failed. A cause the platform saw first
    // (a refusal, an alert) names the failure; what the step then missed follows it.
    const std::string workFailure = failure;
    failure.clear();
    if (afterStep)
        attempt(afterStep);
    std::string consequence;
    if (failure.empty())
        failure = workFailure;
    else if (!workFailure.empty() && workFailure != failure)
        consequence = workFailure;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (!failure.empty()) {
        out_ << "      FAILED: " << failure << std::endl;
        for (const std::string& cause : later)
            out_ << "      then: " << cause << std::endl;
        if (!consequence.empty())
            out_ << "      and so: " << consequence << std::endl;
        failedStep_ = stage_.empty() ? name : name + ", at: " + stage_;
        failure_ = failure;
        return false;
    }
    out_ << "      done in " << ms.count() << " ms" << std::endl;
    return true;
}

}  // namespace tarvel::runner
