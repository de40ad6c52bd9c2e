#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "link/LumoComms.h"
#include "link/RxCondition.h"
#include "support/MemoryPortFactory.h"
#include "support/VirtualMessageLoop.h"

using Bytes = std::vector<std::uint8_t>;

// A link on the virtual clock over in-memory ports; COM1 is present.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports->AddPort("COM1");
        link = std::make_unique<TLumoComms>(loop, ports);
    }

    void OpenLink() { ASSERT_TRUE(link->Open()); }
    std::shared_ptr<TMemorySerialDevice> Device() const { return ports->Device("COM1"); }
    void Feed(const Bytes& bytes) {
        link->ProcessReceived(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    }
    bool Send(const Bytes& frame, std::uint16_t ticks) {
        return link->Send(frame.data(), static_cast<std::uint16_t>(frame.size()), ticks);
    }

    // Boot loader reply: 10 02 ... 10 03 with at least one byte between.
    static void AddBootReply(TRxCondition& list) {
        const std::uint8_t start[] = {0x10, 0x02};
        const std::uint8_t end[] = {0x10, 0x03};
        list.AddCondition(2, start, true, 2, end, true, 0, 1, 0);
    }
    // A request's first steps: the boot reply condition, attached and reset.
    void AttachBootReply(TRxCondition& list) {
        AddBootReply(list);
        link->SetConditions(&list);
        link->ResetConditions();
    }

    TVirtualMessageLoop loop;
    std::shared_ptr<TMemoryPortFactory> ports = std::make_shared<TMemoryPortFactory>(loop);
    std::unique_ptr<TLumoComms> link;
};
