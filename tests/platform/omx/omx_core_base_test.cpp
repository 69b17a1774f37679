// The stand-in core (lookup by name, loading, clean-up on failure) and the
// source-component base (states, port parameters, record checks).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kvr_mw.h"
#include "omx_core.h"
#include "ozb_omx_base.h"

namespace {

char kName[] = "OMX.test.source";

uint32_t code(OMX_ERRORTYPE e)
{
    return static_cast<uint32_t>(e);
}

class Core : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(OMX_Init(), OMX_ErrorNone);
        ASSERT_EQ(ozb_omx_core_RegisterComponent(kName, TEST_COMPONENT_LIBRARY, "test_source_Init",
                                                 OZB_OMX_INIT_COMPONENT_AND_NAME),
                  OMX_ErrorNone);
    }
    void TearDown() override { OMX_Deinit(); }
};

TEST_F(Core, CreatesAndFreesByName)
{
    const long before = kvr_mw_live_allocations();
    OMX_HANDLETYPE h = nullptr;
    ASSERT_EQ(OMX_GetHandle(&h, kName, nullptr, nullptr), OMX_ErrorNone);
    auto* c = static_cast<OMX_COMPONENTTYPE*>(h);
    EXPECT_EQ(c->nSize, sizeof(OMX_COMPONENTTYPE));
    char name[OMX_MAX_STRINGNAME_SIZE];
    OMX_VERSIONTYPE mine, spec;
    ASSERT_EQ(c->GetComponentVersion(c, name, &mine, &spec, nullptr), OMX_ErrorNone);
    EXPECT_STREQ(name, kName);
    EXPECT_EQ(spec.s.nVersionMajor, 1);
    EXPECT_EQ(OMX_FreeHandle(h), OMX_ErrorNone);
    EXPECT_EQ(kvr_mw_live_allocations(), before);
    EXPECT_EQ(code(OMX_FreeHandle(h)), 0x80001005u);
}

TEST_F(Core, LookupAndLoadingFailures)
{
    ASSERT_EQ(ozb_omx_core_RegisterComponent("OMX.test.nolib", "/nonexistent/libnothing.so", "x",
                                             OZB_OMX_INIT_COMPONENT),
              OMX_ErrorNone);
    ASSERT_EQ(ozb_omx_core_RegisterComponent("OMX.test.noentry", TEST_COMPONENT_LIBRARY,
                                             "no_such_entry", OZB_OMX_INIT_COMPONENT),
              OMX_ErrorNone);
    ASSERT_EQ(ozb_omx_core_RegisterComponent("OMX.test.fails", TEST_COMPONENT_LIBRARY,
                                             "test_source_InitFails",
                                             OZB_OMX_INIT_COMPONENT_AND_NAME),
              OMX_ErrorNone);
    struct Case {
        const char* name;
        uint32_t error;
    } cases[] = {
        {"OMX.test.unknown", 0x80001002u}, {"OMX.test.nolib", 0x80001003u},
        {"OMX.test.noentry", 0x80001004u}, {"OMX.test.fails", 0x80001001u},
    };
    const long before = kvr_mw_live_allocations();
    for (const Case& k : cases) {
        OMX_HANDLETYPE h = reinterpret_cast<OMX_HANDLETYPE>(1);
        EXPECT_EQ(code(OMX_GetHandle(&h, const_cast<char*>(k.name), nullptr, nullptr)), k.error)
            << k.name;
        EXPECT_EQ(h, nullptr) << k.name;
    }
    // What the failing init built was released.
    EXPECT_EQ(kvr_mw_live_allocations(), before);

    OMX_HANDLETYPE h;
    EXPECT_EQ(code(OMX_GetHandle(&h, nullptr, nullptr, nullptr)), 0x80001005u);
    EXPECT_EQ(code(OMX_GetHandle(nullptr, kName, nullptr, nullptr)), 0x80001005u);
    EXPECT_EQ(code(ozb_omx_core_RegisterComponent(nullptr, "a", "b", OZB_OMX_INIT_COMPONENT)),
              0x80001005u);
    const std::string longName(OMX_MAX_STRINGNAME_SIZE, 'x');
    EXPECT_EQ(code(ozb_omx_core_RegisterComponent(longName.c_str(), "a", "b",
                                                  OZB_OMX_INIT_COMPONENT)),
              0x80001005u);
}

struct Events {
    std::vector<std::pair<uint32_t, uint32_t>> completed;  // command, new state
};

OMX_ERRORTYPE onEvent(OMX_HANDLETYPE, OMX_PTR appData, OMX_EVENTTYPE event, OMX_U32 d1, OMX_U32 d2,
                      OMX_PTR)
{
    if (event == OMX_EventCmdComplete)
        static_cast<Events*>(appData)->completed.push_back({d1, d2});
    return OMX_ErrorNone;
}

TEST_F(Core, StateChangesReachTheClient)
{
    Events events;
    OMX_CALLBACKTYPE callbacks = {onEvent, nullptr, nullptr};
    OMX_HANDLETYPE h = nullptr;
    ASSERT_EQ(OMX_GetHandle(&h, kName, &events, &callbacks), OMX_ErrorNone);
    auto* c = static_cast<OMX_COMPONENTTYPE*>(h);
    struct Step {
        OMX_STATETYPE to;
        uint32_t result;
    } steps[] = {
        {OMX_StateExecuting, 0x80001017u}, {OMX_StateIdle, 0},      {OMX_StateIdle, 0x80001012u},
        {OMX_StateExecuting, 0},           {OMX_StateLoaded, 0x80001017u}, {OMX_StateIdle, 0},
        {OMX_StateLoaded, 0},
    };
    for (const Step& s : steps)
        EXPECT_EQ(code(c->SendCommand(c, OMX_CommandStateSet, s.to, nullptr)), s.result) << s.to;
    EXPECT_THAT(events.completed,
                ::testing::ElementsAre(std::make_pair(0u, 2u), std::make_pair(0u, 3u),
                                       std::make_pair(0u, 2u), std::make_pair(0u, 1u)));
    EXPECT_EQ(code(c->SendCommand(c, OMX_CommandFlush, 0, nullptr)), 0x80001019u);
    OMX_FreeHandle(h);
}

TEST_F(Core, BasePortParameters)
{
    OMX_HANDLETYPE h = nullptr;
    ASSERT_EQ(OMX_GetHandle(&h, kName, nullptr, nullptr), OMX_ErrorNone);
    auto* c = static_cast<OMX_COMPONENTTYPE*>(h);

    OMX_PORT_PARAM_TYPE ports;
    ozb_omx_base_SetHeader(&ports, sizeof ports);
    ASSERT_EQ(c->GetParameter(c, OMX_IndexParamOtherInit, &ports), OMX_ErrorNone);
    EXPECT_EQ(ports.nPorts, 1u);
    EXPECT_EQ(ports.nStartPortNumber, 0u);

    OMX_PARAM_PORTDEFINITIONTYPE def;
    std::memset(&def, 0, sizeof def);
    ozb_omx_base_SetHeader(&def, sizeof def);
    ASSERT_EQ(c->GetParameter(c, OMX_IndexParamPortDefinition, &def), OMX_ErrorNone);
    EXPECT_EQ(def.eDir, OMX_DirOutput);
    EXPECT_EQ(def.nBufferCountMin, 2u);

    OMX_PARAM_PORTDEFINITIONTYPE wanted = def;
    wanted.nBufferCountActual = 5;
    wanted.nBufferSize = 4096;
    ASSERT_EQ(c->SetParameter(c, OMX_IndexParamPortDefinition, &wanted), OMX_ErrorNone);
    ASSERT_EQ(c->GetParameter(c, OMX_IndexParamPortDefinition, &def), OMX_ErrorNone);
    EXPECT_EQ(def.nBufferCountActual, 5u);
    EXPECT_EQ(def.nBufferSize, 4096u);

    struct Bad {
        const char* what;
        void (*spoil)(OMX_PARAM_PORTDEFINITIONTYPE&);
        uint32_t error;
    } bad[] = {
        {"size", [](OMX_PARAM_PORTDEFINITIONTYPE& d) { d.nSize -= 4; }, 0x80001005u},
        {"version", [](OMX_PARAM_PORTDEFINITIONTYPE& d) { d.nVersion.s.nVersionMajor = 2; },
         0x8000100Fu},
        {"port", [](OMX_PARAM_PORTDEFINITIONTYPE& d) { d.nPortIndex = 1; }, 0x8000101Bu},
        {"count", [](OMX_PARAM_PORTDEFINITIONTYPE& d) { d.nBufferCountActual = 1; }, 0x80001005u},
    };
    for (const Bad& b : bad) {
        OMX_PARAM_PORTDEFINITIONTYPE d = def;
        b.spoil(d);
        EXPECT_EQ(code(c->SetParameter(c, OMX_IndexParamPortDefinition, &d)), b.error) << b.what;
    }
    EXPECT_EQ(code(c->GetParameter(c, OMX_IndexParamPortDefinition, nullptr)), 0x80001005u);
    EXPECT_EQ(code(c->GetParameter(c, OMX_IndexParamAudioPcm, &def)), 0x8000101Au);

    // Buffers are counted only while Loaded.
    ASSERT_EQ(c->SendCommand(c, OMX_CommandStateSet, OMX_StateIdle, nullptr), OMX_ErrorNone);
    EXPECT_EQ(code(c->SetParameter(c, OMX_IndexParamPortDefinition, &wanted)), 0x80001018u);
    OMX_FreeHandle(h);
}

} // namespace
