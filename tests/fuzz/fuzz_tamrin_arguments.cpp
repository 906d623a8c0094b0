// libFuzzer target for the MATLAB/Octave gateway's argument reader: the five
// inputs of tamrin (reactions, the unused input, counts, parameters,
// monitored species) built from the fuzzer's bytes as arrays of the stand-in
// mx API (mock_mex/), read and checked by check_tamrin_inputs exactly as a
// call reads them.  A refusal is the error of the call (MockMexError); any
// crash, sanitizer report, hang or runaway allocation is a fault.
//
// The bytes choose every array's class (double, char, int32, cell,
// structure), its shape (up to 5 x 5, or a structure array), and its values,
// drawn from the values that matter at the reader's bounds (0, -1, 0.5,
// 2^31, NaN, infinities, the largest seed) or taken raw; the reactions'
// fields and the parameters' fields are chosen from the names the reader
// looks up, so most inputs reach its deeper checks.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "mex.h"
#include "mex/mex_gateway.h"
#include "model/model.h"

namespace {

const char* const kReactionFields[] = {"type", "substrates", "products", "StoP",
                                       "formula", "ai", "time"};
const char* const kParameterFields[] = {"start_time", "timestep", "volume", "stoch_algor",
                                        "randseed", "snapshot_interval", "evlog_flag",
                                        "eventlog_arraysize", "update", "tau_error", "method"};
const double kEdgeValues[] = {0.0, 1.0, 2.0, 3.0, -1.0, 0.5, -0.5, 2.9, 10.0, 2147483647.0,
                              2147483648.0, 2147483398.0, 4294967296.0, 1e308, -1e308, 1e-300,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
const char* const kTexts[] = {"binding", "unique-bi-bi", "unbinding", "uni-uni", "uni-multi",
                              "homo-ltor", "transv1", "genmm", "n-order", "undef",
                              "direct", "cr", ""};

constexpr int kMaxDepth = 3;

double value(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.PickValueInArray(kEdgeValues);
    if (in.ConsumeBool()) return static_cast<double>(in.ConsumeIntegralInRange<int>(-3, 12));
    return in.ConsumeFloatingPoint<double>();
}

std::unique_ptr<mxArray> numbers(FuzzedDataProvider& in, mxArray::Kind kind) {
    auto a = std::make_unique<mxArray>();
    a->kind = kind;
    a->m = in.ConsumeIntegralInRange<std::size_t>(0, 5);
    a->n = in.ConsumeIntegralInRange<std::size_t>(0, 5);
    a->sparse = kind == mxArray::kDouble && in.ConsumeProbability<float>() < 0.05f;
    for (std::size_t k = 0; k < a->m * a->n; k++) {
        double v = value(in);
        if (kind == mxArray::kInt32)
            v = std::isfinite(v) && std::fabs(v) < 2147483647.0 ? std::trunc(v) : 0.0;
        a->real.push_back(v);
    }
    return a;
}

std::unique_ptr<mxArray> text(FuzzedDataProvider& in) {
    auto a = std::make_unique<mxArray>();
    a->kind = mxArray::kChar;
    std::string s = in.ConsumeBool() ? std::string(in.PickValueInArray(kTexts))
                                     : in.ConsumeRandomLengthString(120);
    a->m = s.empty() ? 0 : 1;
    a->n = s.size();
    for (char ch : s) a->real.push_back(static_cast<unsigned char>(ch));
    return a;
}

std::unique_ptr<mxArray> any_array(FuzzedDataProvider& in, int depth);

// A structure (array) with fields drawn from `names`.
template <std::size_t N>
std::unique_ptr<mxArray> structure(FuzzedDataProvider& in, const char* const (&names)[N],
                                   int depth) {
    auto a = std::make_unique<mxArray>();
    a->kind = mxArray::kStruct;
    a->m = 1;
    a->n = in.ConsumeProbability<float>() < 0.1f ? in.ConsumeIntegralInRange<std::size_t>(0, 3) : 1;
    for (const char* name : names)
        if (in.ConsumeProbability<float>() < 0.85f) a->field_names.push_back(name);
    if (in.ConsumeProbability<float>() < 0.1f) a->field_names.push_back("extra");
    for (std::size_t e = 0; e < a->n; e++)
        for (const std::string& name : a->field_names) {
            std::unique_ptr<mxArray> v;
            if ((name == "type" || name == "method" || name == "formula") && in.ConsumeBool())
                v = text(in);
            else if (in.ConsumeProbability<float>() < 0.8f)
                v = numbers(in, mxArray::kDouble);
            else
                v = any_array(in, depth + 1);
            a->fields.push_back(std::move(v));
        }
    return a;
}

std::unique_ptr<mxArray> cell(FuzzedDataProvider& in, int depth, bool reactions) {
    auto a = std::make_unique<mxArray>();
    a->kind = mxArray::kCell;
    a->m = 1;
    a->n = in.ConsumeIntegralInRange<std::size_t>(0, 4);
    for (std::size_t k = 0; k < a->n; k++)
        a->cells.push_back(reactions && in.ConsumeProbability<float>() < 0.9f
                               ? structure(in, kReactionFields, depth + 1)
                               : any_array(in, depth + 1));
    return a;
}

std::unique_ptr<mxArray> any_array(FuzzedDataProvider& in, int depth) {
    const int kind = in.ConsumeIntegralInRange<int>(0, depth >= kMaxDepth ? 2 : 4);
    switch (kind) {
        case 0: return numbers(in, mxArray::kDouble);
        case 1: return text(in);
        case 2: return numbers(in, mxArray::kInt32);
        case 3: return cell(in, depth, false);
        default: return structure(in, kParameterFields, depth);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::unique_ptr<mxArray> inputs[5];
    const bool usual = in.ConsumeProbability<float>() < 0.9f;  // each input of its usual class
    inputs[0] = usual ? cell(in, 0, true) : any_array(in, 0);
    inputs[1] = numbers(in, mxArray::kDouble);
    inputs[2] = usual ? numbers(in, mxArray::kDouble) : any_array(in, 0);
    inputs[3] = usual ? structure(in, kParameterFields, 0) : any_array(in, 0);
    inputs[4] = usual ? numbers(in, mxArray::kDouble) : any_array(in, 0);
    const mxArray* prhs[5] = {inputs[0].get(), inputs[1].get(), inputs[2].get(), inputs[3].get(),
                              inputs[4].get()};
    try {
        plenta::mex::check_tamrin_inputs(prhs);
    } catch (const MockMexError& refused) {
        // A refusal must say what was refused, under a "tamrin:" identifier.
        if (refused.id.compare(0, 7, "tamrin:") != 0 || refused.message.empty()) __builtin_trap();
    }
    return 0;
}
