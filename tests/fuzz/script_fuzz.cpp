// The driver's script parser on arbitrary bytes: it either refuses the
// script with a line number or returns events a dispatch can deliver.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "headless/sim_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    SimScript script;
    std::string error;
    if (!ParseSimScript(in, &script, &error)) {
        fuzzsupport::Require(error.rfind("script line ", 0) == 0, "a refusal names the line");
        return 0;
    }
    long last = 1;
    for (const ScriptEvent& ev : script.events) {
        fuzzsupport::Require(ev.dispatch >= last, "events sorted by dispatch, from 1");
        last = ev.dispatch;
        if (ev.kind != ScriptEventKind::kClose) fuzzsupport::Require(ev.key >= 1 && ev.key <= 254, "key code 1..254");
    }
    return 0;
}
