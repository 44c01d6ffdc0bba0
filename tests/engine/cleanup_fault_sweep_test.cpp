// "--cleanup --verbose" of the windows-faults build's tarnel.exe on the scene
// of update services (support/cleanup_scene.h), with one platform call of the
// run failed at a time: call K once, and call K with every later one, for K
// in 1..N, N being the calls of a run without failure. Every run must end by
// itself with a code the cleanup documents, and leave each item of the scene
// whole or gone. One prefix serves every run; the scene is built anew before
// each.
//
// By default a sample of the K runs (every K when N <= 40, else the first
// and last 8 and 24 more at an even stride between them); with
// TARNEL_FAULT_SWEEP=full every K (scripts/fault-sweep.sh).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/cleanup_scene.h"
#include "support/fault_sweep.h"
#include "support/test_support.h"
#include "support/text.h"

namespace {

using testsupport::Narrow;
using namespace testsupport::scene;
using namespace testsupport::sweep;

constexpr DWORD kRunBoundMs = 30000;
// The codes a cleanup run documents: done, done but the SDK key stayed, the
// cleanup or the library search failed, a bad command line or product id,
// no log or no system library.
const std::set<DWORD> kDocumentedCodes{0, 1, 0x80004005, 0x80070057, 0x8000FFFF};

template <class T>
std::vector<BYTE> Bytes(const T& value) {
    const auto* data = reinterpret_cast<const BYTE*>(&value);
    return {data, data + sizeof value};
}

std::vector<BYTE> TextBytes(const std::wstring& text) {
    const auto* data = reinterpret_cast<const BYTE*>(text.c_str());
    return {data, data + (text.size() + 1) * sizeof(wchar_t)};
}

struct ValueOf {
    const wchar_t* name;
    std::vector<BYTE> data;
};

struct SceneKey {
    std::wstring path;
    std::vector<ValueOf> values;
    bool product;  // the cleanup removes it; the others stay
};

std::vector<SceneKey> SceneKeys(const testsupport::TempDir& files) {
    const std::wstring s1 = kSet1, s2 = kSet2;
    return {
        {std::wstring(kSdkKey) + L"\\Settings", {{L"Key", TextBytes(L"value")}}, true},
        {s1 + L"VXRENEW_vxfsd_1",
         {{L"VXRenewMarker", Bytes(kMarker)},
          {L"ImagePath", TextBytes(L"\\??\\" + files.File(L"upd1.sys"))},
          {L"CatFilename", TextBytes(files.File(L"upd1.cat"))}},
         true},
        {s1 + L"vxrenew_VXFSD_x",
         {{L"VXRenewMarker", Bytes(kMarker)}, {L"ImagePath", TextBytes(L"System32\\drivers\\updx.sys")}},
         true},
        {s2 + L"VXRENEW_vxfsd_2",
         {{L"VXRenewMarker", Bytes(kMarker)},
          {L"ImagePath", TextBytes(L"\\SystemRoot\\System32\\drivers\\upd2.sys")}},
         true},
        {s1 + L"VXRENEW_vxfsd_bad", {{L"VXRenewMarker", Bytes(DWORD{0})}}, false},
        {s1 + L"VXRENEW_vxfsd_", {{L"VXRenewMarker", Bytes(kMarker)}}, false},
        {s1 + L"VXRENEW_vxfsd2_1", {{L"VXRenewMarker", Bytes(kMarker)}}, false},
        {s1 + L"OtherDriver", {{L"Start", Bytes(DWORD{3})}}, false},
    };
}

// What a run left of the scene.
struct SceneState {
    std::vector<std::string> halfDone;  // items neither whole nor gone
    int done = 0;                       // product items removed or queued
    int items = 0;                      // product items in all
    bool sdkKeyStayed = false;
};

SceneState LookAtScene(const testsupport::TempDir& files) {
    SceneState state;
    for (const auto& key : SceneKeys(files)) {
        // A product service key may lose subkeys before the key itself goes
        // (its deletion is depth first); its values stay until it is gone.
        const bool exists = KeyExists(key.path);
        if (key.product) {
            ++state.items;
            if (!exists) ++state.done;
        } else if (!exists) {
            state.halfDone.push_back("a key that is not the product's was removed: " + Narrow(key.path));
            continue;
        }
        if (!exists) continue;
        for (const auto& value : key.values) {
            if (ValueBytes(key.path, value.name) != value.data) {
                state.halfDone.push_back("key " + Narrow(key.path) + " without its value " + Narrow(value.name));
            }
        }
    }
    state.sdkKeyStayed = KeyExists(kSdkKey);
    if (state.sdkKeyStayed && !KeyExists(std::wstring(kSdkKey) + L"\\Settings")) {
        state.halfDone.push_back("the SDK key without its subkey");
    }
    for (const wchar_t* name : kCurrentServices) {
        ++state.items;
        if (!ServiceRegistered(name)) ++state.done;
    }
    std::set<std::wstring> expected;
    for (const auto& file : SceneFiles(files)) expected.insert(DeletionEntry(file));
    std::set<std::wstring> queued;
    for (const auto& deletion : QueuedDeletions()) {
        if (!expected.count(deletion)) state.halfDone.push_back("a foreign deletion queued: " + Narrow(deletion));
        if (!queued.insert(deletion).second) state.halfDone.push_back("queued twice: " + Narrow(deletion));
    }
    state.items += static_cast<int>(expected.size());
    state.done += static_cast<int>(queued.size());
    return state;
}

struct RunResult {
    bool ended = true;
    DWORD code = 0;
    std::vector<std::string> messages;
};

struct Tally : CodeTally {
    int asBefore = 0, asAfter = 0, partly = 0;
    int named = 0;  // runs whose log names the injected failure

    std::string Text() const {
        std::ostringstream text;
        text << CodeTally::Text() << "; scene as before " << asBefore << ", as after " << asAfter
             << ", partly cleaned " << partly << "; failure named in the log " << named;
        return text.str();
    }
};

class CleanupFaultSweep : public testing::Test {
protected:
    static void SetUpTestSuite() {
        files_ = new testsupport::TempDir;
        tarnel_ = new testsupport::TarnelCopy;
        tarnel_->AddSampleProduct();
        BuildScene(*files_);
        const RunResult plain = Run("");
        calls_ = plain.ended && plain.code == 0 ? CallsOfLastLine(plain.messages) : -1;
        baselineDone_ = LookAtScene(*files_);
    }
    static void TearDownTestSuite() {
        ClearScene();
        delete tarnel_;
        delete files_;
    }

    static RunResult Run(const std::string& faults) {
        const std::wstring faultFile = tarnel_->Dir() + L"tarnel.faults";
        if (faults.empty()) {
            DeleteFileW(faultFile.c_str());
        } else {
            testsupport::WriteFileText(faultFile, faults + "\r\n");
        }
        DeleteFileW(tarnel_->LogPath().c_str());
        RunResult result;
        try {
            result.code = tarnel_->Run(L"--cleanup --verbose", kRunBoundMs);
        } catch (const std::runtime_error&) {
            result.ended = false;
        }
        result.messages = testsupport::LogMessages(tarnel_->LogLines());
        return result;
    }

    void Sweep(bool fromThereOn) {
        ASSERT_GT(calls_, 0) << "the run without failure did not end with 0 and a count of its calls";
        ASSERT_TRUE(baselineDone_.halfDone.empty() && baselineDone_.done == baselineDone_.items);
        Tally tally;
        const auto sample = Sample(static_cast<unsigned long long>(calls_));
        for (const unsigned long long k : sample) {
            const std::string faults = "console " + std::to_string(k) + (fromThereOn ? "+" : "");
            SCOPED_TRACE(faults);
            BuildScene(*files_);
            const RunResult run = Run(faults);
            const SceneState scene = LookAtScene(*files_);

            if (!run.ended) {
                ++tally.hangs;
                ADD_FAILURE() << "did not end within " << kRunBoundMs / 1000 << " s";
            } else {
                ++tally.codes[run.code];
                EXPECT_TRUE(kDocumentedCodes.count(run.code)) << "exit code " << Hex(run.code);
            }
            for (const auto& problem : scene.halfDone) ADD_FAILURE() << problem;
            if (run.ended && run.code == 0) {
                EXPECT_FALSE(scene.sdkKeyStayed) << "success, but the SDK key stayed";
            }
            if (run.ended && run.code == 1) {
                EXPECT_TRUE(scene.sdkKeyStayed) << "1, but the SDK key is gone";
            }
            if (scene.done == 0) ++tally.asBefore;
            else if (scene.done == scene.items) ++tally.asAfter;
            else ++tally.partly;

            // A run that got as far as its log ends it with its count, and
            // names no call but the ones it was told to fail.
            if (run.ended && !run.messages.empty()) {
                EXPECT_GE(CallsOfLastLine(run.messages), 0) << "last line: " << run.messages.back();
                const auto injected = InjectedCalls(run.messages);
                if (!injected.empty()) ++tally.named;
                if (!fromThereOn) {
                    EXPECT_LE(injected.size(), 1u);
                }
                for (const auto call : injected) {
                    EXPECT_TRUE(fromThereOn ? call >= k : call == k) << "named call " << call;
                }
            }
        }
        std::printf("faults sweep, %s: N = %lld, %zu runs:%s\n", fromThereOn ? "from K on" : "once", calls_,
                    sample.size(), tally.Text().c_str());
    }

    inline static testsupport::TempDir* files_ = nullptr;
    inline static testsupport::TarnelCopy* tarnel_ = nullptr;
    inline static long long calls_ = -1;
    inline static SceneState baselineDone_;
};

TEST_F(CleanupFaultSweep, EachCallFailedOnce) { Sweep(false); }

TEST_F(CleanupFaultSweep, EachCallFailedWithEveryLaterOne) { Sweep(true); }

}  // namespace
