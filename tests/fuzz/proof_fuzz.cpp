// Replay bodies as the score server proves them, key section included: a
// verdict always comes, within the steps a file can hold, and a refusal
// names its step and field.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "proof/run_proof.h"
#include "replay/key_section.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* maps = std::getenv("QUILLRUN_PROOF_MAPS");
    SetProofCaves(maps != nullptr ? maps : QUILLRUN_PROOF_MAPS);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Proof proof = ProveRun(1, std::string_view(reinterpret_cast<const char*>(data), size), 0);
    const bool refusalNamed = proof.verdict != ProofVerdict::kRefused || !proof.field.empty();
    if (proof.step < 0 || proof.step > kMaxKeySteps || !refusalNamed || proof.reason.empty()) {
        std::fprintf(stderr, "bad proof: step %d, field '%s', reason '%s'\n", proof.step, proof.field.c_str(),
                     proof.reason.c_str());
        std::abort();
    }
    return 0;
}
