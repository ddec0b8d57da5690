// The layers every network of the core ends with: fully connected layers over
// row-major weight arrays, and the softmax. Internal to the core.
#pragma once

#include <array>
#include <cmath>

#include <Eigen/Dense>

enum class Activation { Tanh, Relu, None };

// biases + weights x input, then the activation; `weights` is Out rows of In floats.
template <int Out, int In>
Eigen::Matrix<float, Out, 1> dense_layer(const float* weights, const float* biases,
                                         const Eigen::Matrix<float, In, 1>& input, Activation activation)
{
    using Weights = Eigen::Matrix<float, Out, In, In == 1 ? Eigen::ColMajor : Eigen::RowMajor>;
    const Eigen::Map<const Weights> w(weights);
    Eigen::Matrix<float, Out, 1> out = Eigen::Map<const Eigen::Matrix<float, Out, 1>>(biases);
    // Coefficient-wise products (one dot product per contiguous row): as fast
    // as the blocked kernel at these sizes, which GCC 12 misreports when optimising.
    out.noalias() += w.lazyProduct(input);
    if (activation == Activation::Tanh) out = out.array().tanh();
    else if (activation == Activation::Relu) out = out.cwiseMax(0.0f);
    return out;
}

template <int N>
std::array<float, N> softmax(const Eigen::Matrix<float, N, 1>& outputs)
{
    // The largest output is subtracted first so that no exp overflows.
    const float largest = outputs.maxCoeff();
    std::array<float, N> p{};
    float sum = 0.0f;
    for (int k = 0; k < N; ++k) {
        p[k] = std::exp(outputs[k] - largest);
        sum += p[k];
    }
    for (int k = 0; k < N; ++k)
        p[k] /= sum;
    return p;
}
