// The built-in weights compute what the trainer computed: real inputs from the
// training dumps, run through the core's own network code, must give the
// outputs that tools/trainer/export_weights.py wrote beside the weights. A
// mismatch means the exported layout (row order, flattening, bias placement)
// or the core's arithmetic drifted from the trained model.
#include "cardscanner/core/DigitClassifiers.h"
#include "cardscanner/core/NumberStripe.h"
#include "cardscanner/core/Weights.h"

#include "ReferenceVectors.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

constexpr float kTolerance = 1e-5f;

template <std::size_t N, typename Output>
void expect_close(const Output& actual, const float (&expected)[N], const char* what, std::size_t vector)
{
    for (std::size_t i = 0; i < N; ++i)
        EXPECT_NEAR(actual[i], expected[i], kTolerance) << what << " vector " << vector << " output " << i;
}

TEST(ReferenceVectors, stripe_network_matches_the_trainer_on_rows_of_every_class)
{
    namespace rv = reference_vectors;
    static_assert(sizeof rv::stripe_inputs[0] / sizeof(float) == kStripeInputSize);
    for (std::size_t v = 0; v < std::size(rv::stripe_inputs); ++v)
        expect_close(run_stripe_network(rv::stripe_inputs[v]), rv::stripe_outputs[v], "stripe", v);
}

TEST(ReferenceVectors, each_digit_network_and_their_combination_match_the_trainer)
{
    namespace rv = reference_vectors;
    static_assert(sizeof rv::digit_inputs[0] / sizeof(float) == kDigitInputSize);
    for (std::size_t v = 0; v < std::size(rv::digit_inputs); ++v) {
        const float* input = rv::digit_inputs[v];
        const DigitScores a = run_digit_network(digit_network_a, input);
        const DigitScores b = run_digit_network(digit_network_b, input);
        const DigitScores c = run_digit_network(digit_network_c, input);
        expect_close(a, rv::digit_outputs_a[v], "network A", v);
        expect_close(b, rv::digit_outputs_b[v], "network B", v);
        expect_close(c, rv::digit_outputs_c[v], "network C", v);
        expect_close(classify_digit_input(input), rv::digit_outputs_combined[v], "combined", v);
    }
}

TEST(ReferenceVectors, the_three_digit_networks_are_different_networks)
{
    // The two-lowest vote only filters anything when A, B and C were trained
    // apart; identical exports would make it a no-op.
    bool a_b_differ = false, b_c_differ = false;
    for (std::size_t i = 0; i < std::size(digit_network_a.hidden_weights); ++i) {
        a_b_differ |= digit_network_a.hidden_weights[i] != digit_network_b.hidden_weights[i];
        b_c_differ |= digit_network_b.hidden_weights[i] != digit_network_c.hidden_weights[i];
    }
    EXPECT_TRUE(a_b_differ);
    EXPECT_TRUE(b_c_differ);
}

}  // namespace
