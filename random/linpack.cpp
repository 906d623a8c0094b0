// Two single-precision routines of LINPACK (Dongarra, Bunch, Moler and
// Stewart, "LINPACK Users' Guide", SIAM 1979): the dot product SDOT and the
// Cholesky factorisation SPOFA, which the multivariate normal set-up needs.
//
// Matrices are stored column by column with a leading dimension lda (the
// distance between columns): element (i, j), counted from 1, is
// a[(i - 1) + (j - 1) * lda].
#include <cmath>

#include "ranlib.h"

namespace {

// Leading products of the unrolled dot product are added one by one, the rest
// in groups of this many.  The grouping fixes the order of the float
// additions, and with it the rounding of the result.
constexpr int32_t kUnroll = 5;

float dot_unit_strides(int32_t n, const float* sx, const float* sy) {
    float stemp = 0.0f;
    const int32_t m = n % kUnroll;
    for (int32_t i = 0; i < m; i++) stemp += sx[i] * sy[i];
    for (int32_t i = m; i < n; i += kUnroll) {
        // The five products are summed first, then the group joins the sum.
        stemp += sx[i] * sy[i] + sx[i + 1] * sy[i + 1] + sx[i + 2] * sy[i + 2] +
                 sx[i + 3] * sy[i + 3] + sx[i + 4] * sy[i + 4];
    }
    return stemp;
}

float dot_strided(int32_t n, const float* sx, int32_t incx, const float* sy, int32_t incy) {
    // A negative stride walks the vector backwards: it starts from element
    // (1 - n) * inc + 1 (counted from 1), so the last element is read first.
    int32_t ix = incx < 0 ? (1 - n) * incx : 0;
    int32_t iy = incy < 0 ? (1 - n) * incy : 0;
    float stemp = 0.0f;
    for (int32_t i = 0; i < n; i++) {
        stemp += sx[ix] * sy[iy];
        ix += incx;
        iy += incy;
    }
    return stemp;
}

}  // namespace

extern "C" {

float sdot(int32_t n, const float* sx, int32_t incx, const float* sy, int32_t incy) {
    if (n <= 0) return 0.0f;
    if (incx == 1 && incy == 1) return dot_unit_strides(n, sx, sy);
    return dot_strided(n, sx, incx, sy, incy);
}

// Factorises a symmetric positive definite matrix as R^T R with R upper
// triangular, column by column, in place.  Only the upper triangle is read
// and written.  info = 0 on success, otherwise the order j of the first
// leading minor that is not positive definite (the factorisation stops there).
void spofa(float* a, int32_t lda, int32_t n, int32_t* info) {
    for (int32_t j = 1; j <= n; j++) {
        *info = j;
        float* col_j = a + (j - 1) * lda;
        float s = 0.0f;
        for (int32_t k = 1; k <= j - 1; k++) {
            const float* col_k = a + (k - 1) * lda;
            float t = col_j[k - 1] - sdot(k - 1, col_k, 1, col_j, 1);
            t /= col_k[k - 1];
            col_j[k - 1] = t;
            s += t * t;
        }
        s = col_j[j - 1] - s;
        if (s <= 0.0f) return;
        col_j[j - 1] = static_cast<float>(std::sqrt(static_cast<double>(s)));
    }
    *info = 0;
}

}  // extern "C"
