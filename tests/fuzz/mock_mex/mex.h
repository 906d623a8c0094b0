// mex.h - a small stand-in for the MEX/mx API, enough for the gateway's
// argument reader to run outside MATLAB and Octave (the fuzz target
// fuzz_tamrin_arguments).  Arrays are plain C++ objects built by the caller;
// an error raised through mexErrMsgIdAndTxt throws MockMexError, as a host
// unwinds the call.
#ifndef PLENTA_TESTS_FUZZ_MOCK_MEX_H
#define PLENTA_TESTS_FUZZ_MOCK_MEX_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

typedef std::size_t mwSize;
typedef std::size_t mwIndex;
typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

struct mxArray {
    enum Kind { kDouble, kChar, kCell, kStruct, kInt32 };
    Kind kind = kDouble;
    std::size_t m = 0;
    std::size_t n = 0;
    bool sparse = false;
    std::vector<double> real;                    // kDouble, kInt32 (values), kChar (codes)
    std::vector<std::unique_ptr<mxArray>> cells; // kCell: m * n entries
    std::vector<std::string> field_names;        // kStruct
    // kStruct: element e's field f at fields[e * field_names.size() + f]
    std::vector<std::unique_ptr<mxArray>> fields;
};

struct MockMexError {
    std::string id;
    std::string message;
};

// Error and warning calls of the gateway.
[[noreturn]] void mexErrMsgIdAndTxt(const char* id, const char* format, ...);
void mexWarnMsgIdAndTxt(const char* id, const char* format, ...);

bool mxIsCell(const mxArray* a);
bool mxIsStruct(const mxArray* a);
bool mxIsChar(const mxArray* a);
bool mxIsDouble(const mxArray* a);
bool mxIsNumeric(const mxArray* a);
bool mxIsLogical(const mxArray* a);
bool mxIsSparse(const mxArray* a);
bool mxIsEmpty(const mxArray* a);
std::size_t mxGetM(const mxArray* a);
std::size_t mxGetN(const mxArray* a);
std::size_t mxGetNumberOfElements(const mxArray* a);
double* mxGetPr(const mxArray* a);
double mxGetScalar(const mxArray* a);
const char* mxGetClassName(const mxArray* a);
mxArray* mxGetCell(const mxArray* a, std::size_t index);
mxArray* mxGetField(const mxArray* a, std::size_t index, const char* name);
int mxGetString(const mxArray* a, char* buffer, std::size_t length);
mxArray* mxCreateDoubleMatrix(std::size_t m, std::size_t n, mxComplexity complexity);
// Fields by number, and text as a heap copy (formula reactions, named
// parameters and rules).
bool mxIsComplex(const mxArray* a);
int mxGetNumberOfFields(const mxArray* a);
mxArray* mxGetFieldByNumber(const mxArray* a, std::size_t index, int field);
const char* mxGetFieldNameByNumber(const mxArray* a, int field);
char* mxArrayToString(const mxArray* a);
void mxFree(void* p);

#endif  // PLENTA_TESTS_FUZZ_MOCK_MEX_H
