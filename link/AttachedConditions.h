#pragma once

#include "link/LumoComms.h"
#include "link/RxCondition.h"

// Attaches a request's condition list to the link (SetConditions, ResetConditions) for the
// life of this object and detaches it however the request ends. A message dispatched during
// WaitReply may throw, and the link must never keep a reference to a list that the request
// is about to destroy.
class TAttachedConditions {
public:
    TAttachedConditions(TLumoComms& link, TRxCondition& list) : link_(link) {
        link_.SetConditions(&list);
        link_.ResetConditions();
    }
    ~TAttachedConditions() { link_.ClearConditions(); }
    TAttachedConditions(const TAttachedConditions&) = delete;
    TAttachedConditions& operator=(const TAttachedConditions&) = delete;

private:
    TLumoComms& link_;
};
