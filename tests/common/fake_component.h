// The one scriptable in-process component of the tests: it answers through the client callbacks
// at once, logs every call in order, completes no command it is told to keep silent about, and
// keeps a copy of every input buffer it is given.
#pragma once

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "omx_callbacks.h"
#include "omx_component_info.h"
#include "omx_report.h"
#include "test_common.h"

struct FakeComponent {
    OMX_COMPONENTTYPE handle{};
    ZYN_OMX_COMPONENT_INFO *app_data;
    OMX_STATETYPE state = OMX_StateLoaded;
    OMX_U32 min_count[2] = {3, 3};
    OMX_U32 buffer_size = 0;                  // nBufferSize of both ports
    std::vector<OMX_U32> sizes;               // the size of every buffer given or asked for
    std::set<std::string> silent;             // commands that never complete, by log entry ("SendCommand 0 2")
    bool keep_input = false;                  // input buffers never come back
    std::vector<std::string> log;             // every call, in order
    std::vector<std::vector<OMX_U8>> emptied; // the filled bytes of every input buffer received
    std::vector<OMX_PARAM_PORTDEFINITIONTYPE> port_set;

    explicit FakeComponent(ZYN_OMX_COMPONENT_INFO *info) : app_data(info)
    {
        handle.nSize = sizeof(handle);
        handle.pComponentPrivate = this;
        handle.SendCommand = [](OMX_HANDLETYPE h, OMX_COMMANDTYPE cmd, OMX_U32 param, OMX_PTR) {
            const std::string entry = self(h)->call("SendCommand " + std::to_string(cmd) + " " + std::to_string(param));
            if (cmd == OMX_CommandStateSet)
                self(h)->state = static_cast<OMX_STATETYPE>(param);
            if (!self(h)->silent.count(entry))
                OMX_EventHandlerDone(h, self(h)->app_data, OMX_EventCmdComplete, cmd, param, nullptr);
            return OMX_ErrorNone;
        };
        handle.GetParameter = [](OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record) {
            auto *portdef = static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(self(h)->call("GetParameter", index, record));
            if (index == OMX_IndexParamPortDefinition) {
                portdef->nBufferCountMin = portdef->nBufferCountActual = self(h)->min_count[portdef->nPortIndex & 1];
                portdef->nBufferSize = self(h)->buffer_size;
            }
            return OMX_ErrorNone;
        };
        handle.SetParameter = [](OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record) {
            if (index == OMX_IndexParamPortDefinition)
                self(h)->port_set.push_back(*static_cast<OMX_PARAM_PORTDEFINITIONTYPE *>(record));
            self(h)->call("SetParameter", index, record);
            return OMX_ErrorNone;
        };
        handle.GetConfig = [](OMX_HANDLETYPE h, OMX_INDEXTYPE index, OMX_PTR record) {
            self(h)->call("GetConfig", index, record);
            return OMX_ErrorNone;
        };
        handle.GetState = [](OMX_HANDLETYPE h, OMX_STATETYPE *state) {
            *state = self(h)->state;
            return OMX_ErrorNone;
        };
        handle.UseBuffer = [](OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **out, OMX_U32 port, OMX_PTR, OMX_U32 size,
                              OMX_U8 *data) { return self(h)->new_header(out, "UseBuffer", port, size, data); };
        handle.AllocateBuffer = [](OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **out, OMX_U32 port, OMX_PTR, OMX_U32 size) {
            self(h)->owned.push_back(std::make_unique<OMX_U8[]>(size));
            return self(h)->new_header(out, "AllocateBuffer", port, size, self(h)->owned.back().get());
        };
        handle.UseEGLImage = [](OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE **out, OMX_U32 port, OMX_PTR, void *image) {
            return self(h)->new_header(out, "UseEGLImage", port, 0, static_cast<OMX_U8 *>(image));
        };
        handle.FreeBuffer = [](OMX_HANDLETYPE h, OMX_U32 port, OMX_BUFFERHEADERTYPE *) {
            self(h)->call("FreeBuffer " + std::to_string(port));
            return OMX_ErrorNone;
        };
        handle.EmptyThisBuffer = [](OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header) {
            self(h)->call("EmptyThisBuffer " + std::to_string(self(h)->slot(header)));
            self(h)->emptied.emplace_back(header->pBuffer, header->pBuffer + header->nFilledLen);
            if (!self(h)->keep_input)
                OMX_EmptyThisBufferDone(h, self(h)->app_data, header);
            return OMX_ErrorNone;
        };
        handle.FillThisBuffer = [](OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE *header) {
            self(h)->call("FillThisBuffer " + std::to_string(self(h)->slot(header)));
            return OMX_ErrorNone;
        };
    }

    // The log entries that start with `prefix`, in order, each followed by "; ".
    std::string calls(const std::string &prefix) const
    {
        std::string found;
        for (const std::string &entry : log)
            if (entry.rfind(prefix, 0) == 0)
                found += entry + "; ";
        return found;
    }

private:
    static FakeComponent *self(OMX_HANDLETYPE h)
    {
        return static_cast<FakeComponent *>(static_cast<OMX_COMPONENTTYPE *>(h)->pComponentPrivate);
    }

    std::string call(const std::string &entry) { return log.emplace_back(entry); }
    // A call with a record, which must arrive stamped 1.0.0.0.
    OMX_PTR call(const char *what, OMX_INDEXTYPE index, OMX_PTR record)
    {
        call(what + (" " + std::to_string(index)));
        const auto &v = reinterpret_cast<const OMX_VERSIONTYPE *>(static_cast<OMX_U8 *>(record) +
                                                                  offsetof(OMX_PORT_PARAM_TYPE, nVersion))
                            ->s;
        if (v.nVersionMajor != 1 || v.nVersionMinor != 0 || v.nRevision != 0 || v.nStep != 0)
            log.push_back("record not stamped 1.0.0.0");
        return record;
    }

    OMX_ERRORTYPE new_header(OMX_BUFFERHEADERTYPE **out, const char *what, OMX_U32 port, OMX_U32 size, OMX_U8 *data)
    {
        call(what + (" " + std::to_string(port)));
        sizes.push_back(size);
        *out = headers.emplace_back(std::make_unique<OMX_BUFFERHEADERTYPE>()).get();
        (*out)->nSize = sizeof(OMX_BUFFERHEADERTYPE);
        (*out)->pBuffer = data;
        (*out)->nAllocLen = size;
        (*out)->nInputPortIndex = port;
        return OMX_ErrorNone;
    }

    // Position of a header among those of its port, in the order they were given.
    int slot(const OMX_BUFFERHEADERTYPE *header) const
    {
        int n = 0;
        for (const auto &h : headers) {
            if (h.get() == header)
                return n;
            n += h->nInputPortIndex == header->nInputPortIndex;
        }
        return -1;
    }

    std::vector<std::unique_ptr<OMX_BUFFERHEADERTYPE>> headers;
    std::vector<std::unique_ptr<OMX_U8[]>> owned;
};

// A fake component on a run's record, with waits of 50 ms.
struct FakeComponentTest : ::testing::Test {
    sem_t sema;
    ZYN_OMX_COMPONENT_INFO info{};
    FakeComponent fake{&info};
    int timeouts = omx_report_timeout_count();

    void SetUp() override
    {
        setenv("OMX_TEST_WAIT_MS", "50", 1);
        sem_init(&sema, 0, 0);
        info.sema = &sema;
        info.component_type = OMX_COMPONENT_MPEG4DEC;
    }
    void TearDown() override
    {
        sem_destroy(&sema);
        unsetenv("OMX_TEST_WAIT_MS");
    }
    // What `run` printed; every wait it made was for a post it got, and none is left over.
    std::string report(const std::function<void()> &run, int expected_timeouts = 0)
    {
        testing::internal::CaptureStdout();
        run();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(omx_report_timeout_count() - timeouts, expected_timeouts) << out;
        timeouts = omx_report_timeout_count();
        EXPECT_NE(sem_trywait(&sema), 0) << "a completion was not waited for";
        EXPECT_EQ(fake.calls("record not stamped"), "");
        return out;
    }
};
