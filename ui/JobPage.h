#pragma once

#include "ui/PageBase.h"

#include <atomic>

/** A page that runs one long model operation on the component's worker and follows it with a
    100 ms timer: it mirrors the progress into the footer and moves on when the job has ended.
*/
class InstallerComponent::JobPage : public InstallerComponent::PageBase,
                                    private juce::Timer
{
public:
    /** Runs one model operation and observes it: the three fields cross between the worker and the
        page's timer, and the operation stops when the pool asks the job to exit.
    */
    class Job : public juce::ThreadPoolJob,
                private InstallerModel::Observer
    {
    public:
        using Operation = std::function<InstallerModel::Result (InstallerModel&, InstallerModel::Observer&)>;

        Job (const juce::String& name, InstallerModel& model, Operation operation);
        ~Job() override = default;

        JobStatus runJob() override;

        enum Status : int { waiting = 0, running = 1, succeeded = 2, failed = 3 };

        std::atomic<int> status { waiting };
        std::atomic<int> result { noError };
        std::atomic<double> progress { 0.0 };
        InstallerModel& model;

    private:
        void progressChanged (double newProgress) override;
        bool shouldStop() override;

        Operation operation;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Job)
    };

    JobPage (InstallerComponent& owner, int pageOnSuccess);
    ~JobPage() override;

    void resized() override;

    juce::Label label;
    std::unique_ptr<Job> job;

protected:
    /** Hands the job to the worker (the pool does not own it) and starts polling it. */
    void start (std::unique_ptr<Job> newJob);

private:
    void timerCallback() override;
    void releaseJob();

    const int pageOnSuccess;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JobPage)
};
