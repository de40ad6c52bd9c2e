#pragma once

#include <functional>

// A close or an Exit asked for while an upgrade step waits inside a request: the application
// core refuses it for now (FormClose answers false), and the face asks again once the upgrade
// has stopped after that step. The same in both faces; each only shows that a close is pending
// and carries out the request that is due.
class TDeferredClose {
public:
    enum class TRequest { None, Close, Exit };

    // Records the core's answer to a close or an Exit: refused keeps the request pending,
    // allowed clears it. Returns the answer.
    bool Answer(TRequest request, bool allowed) {
        (request == TRequest::Exit ? exitPending_ : closePending_) = !allowed;
        return allowed;
    }

    // True while a close or an Exit waits for the step to end.
    bool Pending() const { return closePending_ || exitPending_; }

    // What to ask again once the step has ended: Exit before Close; None when nothing waits.
    TRequest Due() const {
        if (exitPending_) return TRequest::Exit;
        return closePending_ ? TRequest::Close : TRequest::None;
    }

    // Once the step has ended: asks again for what is due, an Exit by exitAgain, a close by
    // closeAgain; nothing when nothing waits.
    void AskAgain(const std::function<void()>& exitAgain, const std::function<void()>& closeAgain) const {
        switch (Due()) {
            case TRequest::Exit:
                exitAgain();
                break;
            case TRequest::Close:
                closeAgain();
                break;
            case TRequest::None:
                break;
        }
    }

private:
    bool closePending_ = false;
    bool exitPending_ = false;
};
