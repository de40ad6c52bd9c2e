#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "link/LumoComms.h"
#include "support/MemoryPortFactory.h"
#include "support/VirtualMessageLoop.h"

// A link open on an in-memory COM1, on the virtual clock, with a scripted peer that answers
// every request with the chunks in `answer` (each after its delay).
class ScriptedPeerFixture : public ::testing::Test {
protected:
    using Bytes = std::vector<std::uint8_t>;
    struct TChunk {
        Bytes Data;
        std::uint32_t DelayMs = 10;
    };

    void SetUp() override {
        ports->AddPort("COM1");
        link = std::make_unique<TLumoComms>(loop, ports);
        link->RxBufferSize = 500;
        ports->OnWrite("COM1", [this](const Bytes&) {
            for (const TChunk& chunk : answer) ports->Deliver("COM1", chunk.Data, chunk.DelayMs);
        });
        ASSERT_TRUE(link->Open());
    }

    Bytes Written() const { return ports->Device("COM1")->Written(); }

    TVirtualMessageLoop loop;
    std::shared_ptr<TMemoryPortFactory> ports = std::make_shared<TMemoryPortFactory>(loop);
    std::unique_ptr<TLumoComms> link;
    std::vector<TChunk> answer;
};
