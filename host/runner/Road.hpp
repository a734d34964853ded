// The road the runner takes, one step after another: each step is printed as it
// starts, with what it did and the Session Report lines it caused; the first step
// that fails ends the road.
#pragma once

#include <functional>
#include <iosfwd>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::runner {

// A step did not go as the road needs; the text says what happened.
class StepFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    StepFailed(const std::string& cause, std::vector<std::string> later)
        : std::runtime_error(cause), later(std::move(later))
    {
    }
    // Causes that came after the first, in their order.
    std::vector<std::string> later;
};

class Road {
public:
    explicit Road(std::ostream& out) : out_(out) {}

    // What a step has to tell, printed under it.
    void Say(const std::string& line);
    // A part of the running step that the user sees happen inside one action of
    // theirs (a dialog within a dialog); a failure names the last one begun.
    void Stage(const std::string& name);
    // Runs the step. False when it failed (StepFailed, a contract breach or any other
    // exception); the road is then over and every later step is skipped.
    bool Step(const std::string& name, const std::function<void()>& work);

    bool Completed() const { return failedStep_.empty(); }
    // The failed step, with the stage it had reached, and the failure's first cause.
    const std::string& FailedStep() const { return failedStep_; }
    const std::string& Failure() const { return failure_; }
    int Steps() const { return steps_; }
    // Where the road is ("step N: NAME", with its stage), for another thread.
    std::string Where() const;
    // Runs after each step's work, as part of it: prints what the step caused and may
    // fail it (StepFailed) for what the platform refused meanwhile.
    std::function<void()> afterStep;
    // Runs before each step's work.
    std::function<void()> beforeStep;

private:
    void SetWhere();

    std::ostream& out_;
    mutable std::mutex whereMutex_;
    std::string where_;
    int steps_ = 0;
    int stages_ = 0;
    std::string name_;
    std::string stage_;
    std::string failedStep_;
    std::string failure_;
};

}  // namespace tarvel::runner
