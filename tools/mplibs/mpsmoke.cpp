// Smoke check of a GMP and MPFR build: two threads at once compute the same
// numbers at 3000 bits, a few times over, and the program prints them once
// both threads agree. MPFR rounds correctly, so these digits are the same on
// every correct build of the same versions; check-mplibs.sh compares the
// Windows builds' output with this program built against the host's MPFR.
//
// What a broken build would show: per-thread state that is shared (the
// default precision, the cached value of pi, the exception flags) gives
// threads that disagree or a main thread whose precision changed; a wrong
// assembly path or limb size gives different digits.
#include <gmp.h>
#include <mpfr.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr mpfr_prec_t kBits = 3000;
constexpr int kSteps = 1000;
constexpr int kRounds = 3;

std::string Line(const char* name, mpfr_srcptr x) {
  mpfr_exp_t exponent = 0;
  // 0 digits: as many as it takes to read the same 3000 bits back.
  char* digits = mpfr_get_str(nullptr, &exponent, 10, 0, x, MPFR_RNDN);
  // mpfr_get_str's form: the value is 0.DIGITS times ten to the exponent.
  std::string line = std::string(name) + " " + digits + " e" + std::to_string(exponent) + "\n";
  mpfr_free_str(digits);
  return line;
}

// c = -1.75 + 1e-300 as one decimal text, so that it is rounded once, by the
// parser: -1.74 followed by 298 nines.
std::string OrbitPoint() { return "-1.74" + std::string(298, '9'); }

std::string Compute() {
  // The default precision is per thread in a thread-safe MPFR; mpfr_inits
  // below takes it.
  mpfr_set_default_prec(kBits);
  mpfr_t x, c, z;
  mpfr_inits(x, c, z, static_cast<mpfr_ptr>(nullptr));
  std::string out;
  mpfr_clear_flags();
  mpfr_sqrt_ui(x, 2, MPFR_RNDN);
  out += Line("sqrt2", x);
  out += mpfr_inexflag_p() ? "sqrt2 inexact\n" : "sqrt2 exact?\n";
  // Cached per thread after its first use.
  mpfr_const_pi(x, MPFR_RNDN);
  out += Line("pi", x);
  if (mpfr_set_str(c, OrbitPoint().c_str(), 10, MPFR_RNDN) != 0) {
    out += "c did not parse\n";
  }
  mpfr_set_ui(z, 0, MPFR_RNDN);
  for (int step = 0; step < kSteps; ++step) {
    mpfr_sqr(z, z, MPFR_RNDN);
    mpfr_add(z, z, c, MPFR_RNDN);
  }
  out += Line("orbit", z);
  // The same orbit from c = -1.75 exactly: the two differ by far less than
  // a double could hold.
  mpfr_set_d(c, -1.75, MPFR_RNDN);
  mpfr_set_ui(x, 0, MPFR_RNDN);
  for (int step = 0; step < kSteps; ++step) {
    mpfr_sqr(x, x, MPFR_RNDN);
    mpfr_add(x, x, c, MPFR_RNDN);
  }
  mpfr_sub(x, z, x, MPFR_RNDN);
  out += Line("orbit-difference", x);
  mpfr_clears(x, c, z, static_cast<mpfr_ptr>(nullptr));
  mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
  return out;
}

}  // namespace

int main() {
#ifdef _WIN32
  // The same bytes as on Linux: no CR before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::string results[2][kRounds];
  // Both threads start computing together. A spin, not std::latch: with
  // the mingw-w64 GCC 12 library a latch's wait now and then never wakes
  // (measured under Wine: 2 in 10 runs of two threads and a latch alone).
  std::atomic<int> arrived{0};
  auto work = [&](int thread) {
    arrived.fetch_add(1);
    while (arrived.load() < 2) std::this_thread::yield();
    for (int round = 0; round < kRounds; ++round) results[thread][round] = Compute();
  };
  std::thread first(work, 0);
  std::thread second(work, 1);
  first.join();
  second.join();

  int faults = 0;
  for (int thread = 0; thread < 2; ++thread) {
    for (int round = 0; round < kRounds; ++round) {
      if (results[thread][round] != results[0][0]) {
        std::fprintf(stderr, "thread %d round %d differs:\n%s", thread, round,
                     results[thread][round].c_str());
        ++faults;
      }
    }
  }
  if (mpfr_get_default_prec() != 53) {
    std::fprintf(stderr, "the threads changed the main thread's precision to %ld\n",
                 static_cast<long>(mpfr_get_default_prec()));
    ++faults;
  }
  std::printf("gmp %s mpfr %s thread-safe %d\n%s", gmp_version, mpfr_get_version(),
              mpfr_buildopt_tls_p(), results[0][0].c_str());
  std::printf(faults == 0 ? "threads agree\n" : "threads DISAGREE\n");
  return faults == 0 ? 0 : 1;
}
