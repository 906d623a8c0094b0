// The stand-in MEX/mx API (see mex.h): each function reads the array object
// as the host's function of that name reads its own arrays.
#include "mex.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string format_text(const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

}  // namespace

void mexErrMsgIdAndTxt(const char* id, const char* format, ...) {
    va_list args;
    va_start(args, format);
    MockMexError error{id, format_text(format, args)};
    va_end(args);
    throw error;
}

void mexWarnMsgIdAndTxt(const char*, const char*, ...) {}

bool mxIsCell(const mxArray* a) { return a->kind == mxArray::kCell; }
bool mxIsStruct(const mxArray* a) { return a->kind == mxArray::kStruct; }
bool mxIsChar(const mxArray* a) { return a->kind == mxArray::kChar; }
bool mxIsDouble(const mxArray* a) { return a->kind == mxArray::kDouble; }
bool mxIsLogical(const mxArray*) { return false; }  // the stand-in has no logical arrays
bool mxIsNumeric(const mxArray* a) {
    return a->kind == mxArray::kDouble || a->kind == mxArray::kInt32;
}
bool mxIsSparse(const mxArray* a) { return a->sparse; }
bool mxIsEmpty(const mxArray* a) { return a->m == 0 || a->n == 0; }
std::size_t mxGetM(const mxArray* a) { return a->m; }
std::size_t mxGetN(const mxArray* a) { return a->n; }
std::size_t mxGetNumberOfElements(const mxArray* a) { return a->m * a->n; }

// Only a double array's data is read through this pointer by the gateway;
// an empty array has none.
double* mxGetPr(const mxArray* a) {
    return const_cast<double*>(a->real.empty() ? nullptr : a->real.data());
}

double mxGetScalar(const mxArray* a) {
    if (a->kind == mxArray::kCell || a->kind == mxArray::kStruct || a->real.empty()) return 0.0;
    return a->real[0];
}

const char* mxGetClassName(const mxArray* a) {
    switch (a->kind) {
        case mxArray::kDouble: return "double";
        case mxArray::kChar: return "char";
        case mxArray::kCell: return "cell";
        case mxArray::kStruct: return "struct";
        case mxArray::kInt32: return "int32";
    }
    return "unknown";
}

mxArray* mxGetCell(const mxArray* a, std::size_t index) {
    if (a->kind != mxArray::kCell || index >= a->cells.size()) return nullptr;
    return a->cells[index].get();
}

mxArray* mxGetField(const mxArray* a, std::size_t index, const char* name) {
    if (a->kind != mxArray::kStruct) return nullptr;
    const std::size_t nf = a->field_names.size();
    for (std::size_t f = 0; f < nf; f++)
        if (a->field_names[f] == name && index * nf + f < a->fields.size())
            return a->fields[index * nf + f].get();
    return nullptr;
}

// Copies the text of a char array, column by column, into a buffer of
// `length` bytes with its terminating NUL; 1 when the array is no text or
// the text did not fit (the buffer then holds what fitted).
int mxGetString(const mxArray* a, char* buffer, std::size_t length) {
    if (length == 0) return 1;
    buffer[0] = '\0';
    if (a->kind != mxArray::kChar) return 1;
    const std::size_t n = a->real.size();
    std::size_t k = 0;
    for (; k < n && k + 1 < length; k++)
        buffer[k] = static_cast<char>(static_cast<unsigned char>(static_cast<int>(a->real[k])));
    buffer[k] = '\0';
    return k < n ? 1 : 0;
}

mxArray* mxCreateDoubleMatrix(std::size_t, std::size_t, mxComplexity) {
    // The argument reader creates no array; the outputs are not part of it.
    return nullptr;
}

bool mxIsComplex(const mxArray*) { return false; }  // the stand-in has no complex arrays

int mxGetNumberOfFields(const mxArray* a) {
    return a->kind == mxArray::kStruct ? static_cast<int>(a->field_names.size()) : 0;
}

mxArray* mxGetFieldByNumber(const mxArray* a, std::size_t index, int field) {
    if (a->kind != mxArray::kStruct || field < 0) return nullptr;
    const std::size_t nf = a->field_names.size();
    const std::size_t f = static_cast<std::size_t>(field);
    if (f >= nf || index * nf + f >= a->fields.size()) return nullptr;
    return a->fields[index * nf + f].get();
}

const char* mxGetFieldNameByNumber(const mxArray* a, int field) {
    if (a->kind != mxArray::kStruct || field < 0 ||
        static_cast<std::size_t>(field) >= a->field_names.size())
        return nullptr;
    return a->field_names[static_cast<std::size_t>(field)].c_str();
}

// The text of a char array in a heap copy the caller releases with mxFree;
// null for an array that is no text.
char* mxArrayToString(const mxArray* a) {
    if (a->kind != mxArray::kChar) return nullptr;
    const std::size_t n = a->real.size();
    char* text = static_cast<char*>(std::malloc(n + 1));
    if (text == nullptr) return nullptr;
    mxGetString(a, text, n + 1);
    return text;
}

void mxFree(void* p) { std::free(p); }
