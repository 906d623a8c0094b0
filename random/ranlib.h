/*
 * ranlib.h - the random number library: a combined multiplicative congruential
 * generator with 32 virtual generators (L'Ecuyer 1988; L'Ecuyer and Cote 1991)
 * and the deviates built on it.
 *
 * This header is usable from C and from C++; link against the plenta_random
 * library.  All state is process-wide and unguarded: nothing here is
 * thread-safe, and calls must not overlap.
 *
 * Integers are 32-bit signed, real values single precision, exactly as the
 * algorithms were published; the single-precision rounding of every stored
 * working value is part of what makes a seed reproduce a stream bit for bit.
 */
#ifndef PLENTA_RANDOM_RANLIB_H
#define PLENTA_RANDOM_RANLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Process-wide state, visible so that tests can snapshot and restore it ---- */

/* The generator (source unit com).  Arrays are indexed by generator number - 1. */
typedef struct RanlibGeneratorState {
    int32_t Xm1, Xm2, Xa1, Xa2, Xa1w, Xa2w, Xa1vw, Xa2vw; /* assigned by inrgcm */
    int32_t Xig1[32], Xig2[32]; /* initial seeds of the two components */
    int32_t Xlg1[32], Xlg2[32]; /* last seeds: first values of the current block */
    int32_t Xcg1[32], Xcg2[32]; /* current seeds, advanced by ignlgi */
    int32_t Xqanti[32];         /* antithetic flags */
    int32_t curntg;             /* current generator, 1..32 (held by gscgn) */
    int32_t qrgnin;             /* constants initialised (held by gsrgs) */
    int32_t qqssd;              /* seeds set by setall (held by gssst) */
    uint64_t Xndraw;            /* values drawn (any generator) since setall or setsub */
} RanlibGeneratorState;

/* The one generator state of the process. */
RanlibGeneratorState *ranlib_generator_state(void);

/* Saved set-up of the Poisson deviate ignpoi, kept between calls so that
 * repeated calls with an unchanged mean skip the preparation. All 0 at start. */
typedef struct RanlibPoissonState {
    float muprev;  /* mean for which s, d and the normal bound were computed */
    float s, d;    /* sqrt(mu) and 6 mu^2 */
    int32_t l;     /* normal bound: integer part of (mu - 1.1484) */
    float muold;   /* mean for which the coefficients or the table were computed */
    float omega, b1, b2, c0, c1, c2, c3, c; /* hat and Hermite coefficients */
    int32_t m;     /* max(1, integer part of mu) */
    int32_t ll;    /* number of valid entries of the cumulative table, 0..35 */
    float p, q, p0;  /* last probability, last cumulative probability, P(0) */
    float pp[35];  /* pp[k - 1] = P(X <= k) for the prepared mean */
} RanlibPoissonState;

/* The one Poisson state of the process. */
RanlibPoissonState *ranlib_poisson_state(void);

/* ---- Ending the process ---- */

/* Every process-ending path of the library goes through ranlib_exit: it calls
 * the installed handler (which must not return, e.g. it raises a host error)
 * or, when none is installed or it returns, exit(status).  A front end that
 * must not end its host process installs a handler. */
typedef void (*ranlib_exit_handler)(int status);
void ranlib_set_exit_handler(ranlib_exit_handler handler);
void ranlib_exit(int status);

/* ---- Generator core and stream controls (com) ---- */

void setall(int32_t iseed1, int32_t iseed2); /* seed all 32 generators */
int32_t ignlgi(void);                       /* next value, 1..Xm1-1 */
void initgn(int32_t isdtyp);                /* -1 stream start, 0 block start, 1 next block */
void setsd(int32_t iseed1, int32_t iseed2);  /* initial seeds of the current generator */
void getsd(int32_t *iseed1, int32_t *iseed2);/* current seeds of the current generator */
void setant(int32_t qvalue);                /* antithetic flag of the current generator */
void advnst(int32_t k);                     /* advance the current generator by 2^k values */
void inrgcm(void);                          /* assign the constants */

/* ---- Uniform deviate, accessors and modular product (ranlib) ---- */

float ranf(void);                             /* uniform in (0, 1] */
void gscgn(int32_t getset, int32_t *g);       /* get (0) or set the current generator */
void gsrgs(int32_t getset, int32_t *qvalue);  /* get (0) or set the initialised flag */
void gssst(int32_t getset, int32_t *qset);    /* get (0) or set the seeds-set flag */
int32_t mltmod(int32_t a, int32_t s, int32_t m); /* (a * s) mod m without overflow */

/* ---- Per-run substreams of generator 1 (substream) ----
 * Run number r (from 1) of an ensemble draws from substream r - 1 of generator
 * 1: the stream that starts (a^(2^RANLIB_SUBSTREAM_LOG2))^(r-1) times the seed
 * values after generator 1's start, i.e. (r - 1) * 2^40 values on.  So a
 * run's numbers depend only on the seeds and its number, never on the runs
 * done before it.  Substream 0 is generator 1's own start.  Substreams are
 * 2^40 (about 1.1e12) values long; RANLIB_SUBSTREAM_COUNT of them fit in the
 * combined generator's period ((Xm1 - 1)(Xm2 - 1) / 2, about 2^61 - 2^38)
 * without any two sharing a value. */
#define RANLIB_SUBSTREAM_LOG2 40
#define RANLIB_SUBSTREAM_LENGTH (UINT64_C(1) << RANLIB_SUBSTREAM_LOG2)
#define RANLIB_SUBSTREAM_COUNT 2097151 /* 2^21 - 1 */

/* The two seeds of substream `index` (0..) for substreams 2^k values apart,
 * from generator seeds iseed1, iseed2: (a^(2^k))^index * iseed mod m for each
 * component, by square-and-multiply with mltmod.  Needs the constants
 * (inrgcm) and seeds in 1..Xm1-1 and 1..Xm2-1. */
void subsds(int32_t iseed1, int32_t iseed2, int32_t k, int32_t index, int32_t *sub1,
            int32_t *sub2);
/* Makes generator 1 current and starts it at substream `index` of the stream
 * seeded with iseed1, iseed2 (as setall seeds generator 1); clears the draw
 * counter Xndraw and the Poisson deviate's saved state, so that everything
 * the next draws depend on is fixed by the seeds and the index. */
void setsub(int32_t iseed1, int32_t iseed2, int32_t index);
/* Values drawn since the last setall or setsub. */
uint64_t ranlib_draw_count(void);

/* ---- Poisson, normal and exponential deviates (ranlib) ---- */

int32_t my_poisson(double mean); /* the engine's entry point */
int32_t ignpoi(float mu);        /* Poisson, Ahrens and Dieter (1982) */
float snorm(void);               /* standard normal, Ahrens and Dieter FL (1973) */
float sexpo(void);               /* standard exponential, Ahrens and Dieter SA (1972) */
float fsign(float num, float sign);

/* ---- Other deviates (ranlib) ---- */

float genbet(float aa, float bb);
float genchi(float df);
float genexp(float av);
float genf(float dfn, float dfd);
float gengam(float a, float r);
float sgamma(float a);
float gennor(float av, float sd);
float gennch(float df, float xnonc);
float gennf(float dfn, float dfd, float xnonc);
float genunf(float low, float high);
void setgmn(float *meanv, float *covm, int32_t p, float *parm);
void genmn(float *parm, float *x, float *work);
int32_t ignbin(int32_t n, float pp);
int32_t ignnbn(int32_t n, float p);
int32_t ignuin(int32_t low, int32_t high);
void genmul(int32_t n, float *p, int32_t ncat, int32_t *ix);
void genprm(int32_t *iarray, int32_t larray);

/* ---- Utilities ---- */

void phrtsd(const char *phrase, int32_t *seed1, int32_t *seed2);
int32_t lennob(const char *str);
void ftnstop(const char *msg);

/* ---- Linear algebra (linpack) ---- */

float sdot(int32_t n, const float *sx, int32_t incx, const float *sy, int32_t incy);
void spofa(float *a, int32_t lda, int32_t n, int32_t *info);

#ifdef __cplusplus
}
#endif

#endif /* PLENTA_RANDOM_RANLIB_H */
