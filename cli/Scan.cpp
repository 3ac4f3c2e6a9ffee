#include "cli/MeterCommand.h"

#include "app/MeterSession.h"
#include "cli/ExitStatus.h"
#include "cli/Interrupt.h"
#include "cli/Progress.h"

#include <cstdio>
#include <iostream>
#include <vector>

namespace {

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

} // namespace

int TMeterCommand::Scan() {
    const int total = FOptions.To - FOptions.From + 1;
    TProgressBar progress(total);
    std::vector<int> found;
    bool wrongAnswers = false;
    int addr = FOptions.From;
    for (; addr <= FOptions.To && !InterruptRequested(); ++addr) {
        progress.Show(addr - FOptions.From,
                      TwoDigits(addr) + ", found " + std::to_string(found.size()));
        const TMeterTarget target = TMeterTarget::Bus(static_cast<TKestroAddr>(addr));
        TResult result = NewResult(target);
        const auto start = std::chrono::steady_clock::now();
        try {
            TMeterSession session(FLink, target, FText);
            result.Answered = session.Echo();
            result.Text = FText.Text;
            result.Success = true;
            found.push_back(addr);
        } catch (const EStopped&) {
            break;
        } catch (const EKestroTimeout&) {
            continue; // silence: no meter at this address
        } catch (const ECommError& error) {
            result.Error = error.Message();
            const TFailureKind failure = KindOf(error);
            if (failure == TFailureKind::Line && ReopenOnce(result.Error)) {
                --addr; // the same address once more
                continue;
            }
            if (failure != TFailureKind::Meter) {
                ReportPortFailure(result.Error, FLink);
                FStatus = failure == TFailureKind::Port ? ExitNoPort : ExitSomeFailed;
                break;
            }
            // Something answered, but not as a meter should: worth a line of its own.
            FStatus = ExitSomeFailed;
            wrongAnswers = true;
        }
        result.ElapsedMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        progress.Clear();
        FWriter.Write(result);
    }
    progress.Clear();
    const std::string range = TwoDigits(FOptions.From) + "-" + TwoDigits(FOptions.To);
    if (addr <= FOptions.To) {
        std::cerr << "kestro: scan " << range
                  << (InterruptRequested() ? " interrupted" : " stopped") << " before "
                  << TwoDigits(addr) << "; " << found.size() << " found\n";
        if (FStatus == ExitAllGood)
            FStatus = ExitSomeFailed;
        return FStatus;
    }
    if (!FOptions.Json)
        std::cerr << "kestro: scan " << range << ": " << found.size()
                  << (found.size() == 1 ? " meter answered\n" : " meters answered\n");
    if (found.empty() && !wrongAnswers)
        Hint();
    return FStatus;
}
