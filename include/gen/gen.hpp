// gen: encode bytes into big integers as the gen program does, and restore
// them from the crypt text it writes.
//
// Nothing here prints or exits: failures come back as statuses. The one
// exception is an exhausted heap inside GMP, which ends the process unless
// the program installs memory functions of its own (see
// mp_set_memory_functions).
//
// gen takes its draws from the C library's own srand()/rand(), and each C
// library has its own generator: glibc's, musl's, Microsoft's, ... (the
// families, libc_families()). encode_rounds() and scramble(), which gen
// itself runs, call rand() directly; nothing else here touches the
// caller's rand(). encode() and restore() keep private generators (for
// glibc, the C library's own reentrant random_r()), so any thread may call
// them at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gen/bi.hpp"

namespace gen {

// This library's version, "MAJOR.MINOR.PATCH"; the programs' too.
const char *version();

constexpr int round_modulus = 4011;              // R is the first draw modulo this
constexpr int most_rounds = round_modulus - 1;  // so R is at most this
constexpr int input_limit = 999999999;           // bytes that gen encodes at most

// ---- Encoding -------------------------------------------------------------

// Takes the next piece of crypt text; returns 0, or an errno to stop.
using write_fn = std::function<int(const char *data, size_t size)>;
// Told that round j (from 0, in order) of `rounds` starts.
using round_fn = std::function<void(int j, int rounds)>;

// The round count of a run: the first rand() draw, modulo 4011.
int draw_rounds();

// Encodes bytes[0..n) over `rounds` rounds, taking one rand() draw per
// round for its flip, and passes the crypt text to write in pieces.
// on_round(j, rounds) is called for every round in order, paced by the
// work: when j / rounds of the evaluation and writing is done. Returns 0,
// or the errno that write returned (the text is then incomplete), or
// EINVAL for rounds outside 0 to most_rounds or a negative n (nothing is
// drawn or written then).
int encode_rounds(const unsigned char *bytes, int n, int rounds, const write_fn &write,
                  const round_fn &on_round = {});

// The exact crypt text that gen built on glibc writes for data[0..size)
// when started at `second`, from glibc's own generator (random_r() on a
// private state). At most input_limit bytes are encoded.
std::string encode(const unsigned char *data, size_t size, uint32_t second);
// The same as gen built on the C library of family `libc` (a name of
// libc_families()) would write it, from the model of its rand(); nullopt
// for a name that is none.
std::optional<std::string> encode(const unsigned char *data, size_t size, uint32_t second,
                                  std::string_view libc);

// A family of C libraries that share one rand().
struct libc_family {
    std::string name;       // as restore_options::libc and ungen --libc take it
    std::string libraries;  // the C libraries whose rand() it is
    std::string rand;       // for messages: "musl's rand()"
};
// Every family, in the order a search tries them: glibc's first.
std::vector<libc_family> libc_families();

// The rounds one by one on an element array: for tiny work, where the
// whole-run evaluation's fixed cost does not pay. Both give the same text.
bool prefer_whole_run(int n, int rounds);
// One element per byte of bytes[0..n), with room for the padding element;
// nullptr when memory runs out.
bi *build_elements(const unsigned char *bytes, int n);
// One round: pads an odd sequence with a 0, turns every pair (a, b) into
// (a + b, a - b), then takes one rand() draw r and flips bit 0 of element
// (r % n) | 1. An empty sequence takes the draw and changes nothing.
void scramble(bi *cfile, int &n);
// Writes elements n - 1 down to 0 as crypt text; 0 or write's errno.
int write_elements(const bi *cfile, int n, const write_fn &write);
// Releases the n live elements and the array.
void free_elements(bi *cfile, int n);

// ---- Restoring ------------------------------------------------------------

enum class status {
    ok,
    read_failed,     // reading the crypt failed: err
    malformed,       // not crypt text: offset is the first byte that does not fit
    not_a_crypt,     // crypt text, but no run of gen writes these numbers
    no_such_rounds,  // restore_options::rounds is not a round count it reads as
    no_match,        // no second in the range searched makes it
    ambiguous,       // several results fit, and nothing tells them apart: candidates
    unconfirmed,     // the model of rand() chose a second the C library does not confirm
    no_such_libc,    // restore_options::libc names no family
};

struct restore_options {
    std::optional<uint32_t> second;  // the second gen started at: no search
    std::optional<int> rounds;       // only the reading with this round count
    std::optional<uint32_t> newest;  // the search starts here, going back; none: now
    std::optional<uint64_t> window;  // ... and goes only this many seconds further
    int jobs = 0;                    // search threads; 0: one per CPU
    bool unverified = false;         // decode from the structure alone, with no second
    bool keep_zero = false;          // keep a final 0 byte that may be gen's padding
    // The families whose draws to try (libc_families() names); empty:
    // every one. glibc's are tried first, the others only where glibc's
    // make no result.
    std::vector<std::string> libc;
    // The search's progress: seconds tried of those to try in its current
    // pass, from the calling thread, every so often.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// The seconds before newest that a search takes first and alone tells
// readings apart by: the day before it.
constexpr uint64_t first_window = 86400;

// One result a crypt can be read as: bytes that one or more round counts
// undo it to.
struct candidate {
    std::vector<int> rounds;          // the round counts that read so, lowest first
    uint64_t length = 0;              // its bytes (after dropping a possible padding 0)
    std::vector<unsigned char> head;  // its first bytes, up to 64
    bool text = false;                // its bytes look like text
    bool searched = false;            // the seconds below were counted
    uint64_t seconds = 0;             // how many seconds of the range make it
    uint32_t nearest = 0;             // of those, the one nearest to newest
};

struct restored {
    bool ok = false;
    status kind = status::ok;
    std::string message;  // why it failed, without the program's or the crypt's name
    int err = 0;          // read_failed: the errno
    uint64_t offset = 0;  // malformed: the byte, from 0

    std::vector<unsigned char> bytes;
    uint32_t second = 0;  // the second that makes it (not when unverified)
    int rounds = 0;
    std::string libc;             // ... with the draws of this family (libc_family::name)
    std::string libc_rand;        // ... as messages name it: "musl's rand()"
    std::vector<uint32_t> twins;  // other seconds whose draws are the same
    uint32_t newest = 0;           // where the search started
    bool unverified = false;       // decoded from the structure alone
    bool dropped_padding = false;  // a final 0 byte that may be gen's padding was dropped
    bool zero_elsewhere = false;   // ... and the other bytes hold a 0 too, so it may be real
    // Other results fit, and only the seconds just before newest told them
    // apart (the day before it, or the caller's window): a second there
    // makes this one, and none there makes the others (in candidates),
    // which some seconds beyond them may.
    bool chosen_by_window = false;
    uint64_t chosen_within = 0;  // ... that many seconds
    // ambiguous: every result that fits, text first; chosen_by_window: the
    // others.
    std::vector<candidate> candidates;
};

// Whether the search's model of glibc's rand() gives the C library's own
// draws (random_r()). If not, restore() fails where it would use it.
bool rand_model_fits();

// Restores the bytes of crypt text, verified.
restored restore(std::string_view crypt, const restore_options &o = {});
// The same, read from a descriptor as it goes, for large crypts.
restored restore_fd(int fd, const restore_options &o = {});

} // namespace gen
