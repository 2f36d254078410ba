#include "ui/JobPage.h"

InstallerComponent::JobPage::Job::Job (const juce::String& name, InstallerModel& modelToUse, Operation operationToRun)
    : juce::ThreadPoolJob (name),
      model (modelToUse),
      operation (std::move (operationToRun))
{
}

juce::ThreadPoolJob::JobStatus InstallerComponent::JobPage::Job::runJob()
{
    status = running;
    const auto value = operation (model, *this);
    // The result is stored before the status says it is final, so a tick that sees the end reads it.
    result = value;
    status = value != InstallerModel::noError ? failed : succeeded;
    return jobHasFinished;
}

void InstallerComponent::JobPage::Job::progressChanged (double newProgress)
{
    progress = newProgress;
}

bool InstallerComponent::JobPage::Job::shouldStop()
{
    return shouldExit();
}

InstallerComponent::JobPage::JobPage (InstallerComponent& ownerComponent, int pageAfterSuccess)
    : PageBase (ownerComponent),
      pageOnSuccess (pageAfterSuccess)
{
}

InstallerComponent::JobPage::~JobPage()
{
    stopTimer();
    releaseJob();
}

void InstallerComponent::JobPage::resized()
{
    label.setBounds (getLocalBounds());
}

void InstallerComponent::JobPage::start (std::unique_ptr<Job> newJob)
{
    job = std::move (newJob);
    owner.threadPool.addJob (job.get(), false);
    startTimer (100);
}

void InstallerComponent::JobPage::releaseJob()
{
    if (job == nullptr)
        return;

    // After runJob returns, the pool still does its bookkeeping on the job: wait until it has let go.
    owner.threadPool.removeJob (job.get(), true, -1);
    job.reset();
}

void InstallerComponent::JobPage::timerCallback()
{
    if (job == nullptr)
    {
        stopTimer();
        return;
    }

    // Read before the status: the pool lets go of a job that has run only after its final status is set.
    const auto inPool = owner.threadPool.contains (job.get());

    switch (job->status.load())
    {
        case Job::waiting:
            // Asked to stop before the worker took it up, the pool drops the job without running it.
            if (! inPool)
            {
                releaseJob();
                stopTimer();
                owner.showErrorPage (interrupted);
                break;
            }

            [[fallthrough]];

        case Job::running:
            owner.footer.progressValue = job->progress.load();
            owner.footer.progressBar.setVisible (true);
            break;

        case Job::succeeded:
        {
            releaseJob();
            stopTimer();
            // Destroys this page: nothing may touch it afterwards.
            owner.showPage (pageOnSuccess);
            break;
        }

        case Job::failed:
        {
            const auto code = static_cast<ErrorType> (job->result.load());
            releaseJob();
            stopTimer();
            owner.showErrorPage (code);
            break;
        }

        default:
            break;
    }
}
