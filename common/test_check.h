// A small test framework shared by the native and the Windows unit tests.
// Each case prints "PASS name" or "FAIL name: where"; the runner counts the lines.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace qxtest {

struct Case {
  const char* name;
  void (*body)();
  Case* next;
};

inline Case*& Registry() {
  static Case* head = nullptr;
  return head;
}

inline Case*& Tail() {
  static Case* tail = nullptr;
  return tail;
}

struct Registrar {
  Case entry;
  Registrar(const char* name, void (*body)()) : entry{name, body, nullptr} {
    // Cases run in the order they are written.
    if (Tail()) Tail()->next = &entry; else Registry() = &entry;
    Tail() = &entry;
  }
};

inline int& Failures() {
  static int failures = 0;
  return failures;
}

inline void Fail(const char* file, int line, const std::string& what) {
  ++Failures();
  std::printf("  at %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stdout);
}

inline std::string Show(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}
inline std::string Show(const char16_t* s) { return s ? Show(std::u16string(s)) : "(null)"; }
inline std::string Show(const std::string& s) { return s; }
inline std::string Show(const char* s) { return s ? s : "(null)"; }
inline std::string Show(bool v) { return v ? "true" : "false"; }
template <typename T>
std::string Show(const T& v) {
  if constexpr (std::is_enum_v<T>) {
    return std::to_string(static_cast<long long>(v));
  } else if constexpr (std::is_pointer_v<T>) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", static_cast<const void*>(v));
    return buf;
  } else {
    return std::to_string(v);
  }
}

// Runs every case, or only those whose name contains the first argument.
inline int RunAll(int argc, char** argv) {
  int passed = 0, failed = 0;
  for (Case* c = Registry(); c; c = c->next) {
    if (argc > 1 && !std::strstr(c->name, argv[1])) continue;
    int before = Failures();
    c->body();
    if (Failures() == before) {
      ++passed;
      std::printf("PASS %s\n", c->name);
    } else {
      ++failed;
      std::printf("FAIL %s\n", c->name);
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed ? 1 : 0;
}

}  // namespace qxtest

#define QX_CAT2(a, b) a##b
#define QX_CAT(a, b) QX_CAT2(a, b)
#define TEST_CASE(name)                                                        \
  static void QX_CAT(qx_case_, __LINE__)();                                    \
  static ::qxtest::Registrar QX_CAT(qx_reg_, __LINE__)(name, &QX_CAT(qx_case_, __LINE__)); \
  static void QX_CAT(qx_case_, __LINE__)()

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) ::qxtest::Fail(__FILE__, __LINE__, "CHECK(" #cond ")");       \
  } while (0)

#define CHECK_EQ(actual, expected)                                             \
  do {                                                                         \
    const auto& qx_a = (actual);                                               \
    const auto& qx_e = (expected);                                             \
    if (!(qx_a == qx_e))                                                       \
      ::qxtest::Fail(__FILE__, __LINE__,                                       \
                     std::string(#actual " == " #expected ": got ") +          \
                         ::qxtest::Show(qx_a) + ", expected " +                \
                         ::qxtest::Show(qx_e));                                \
  } while (0)

#define TEST_MAIN()                                                            \
  int main(int argc, char** argv) { return ::qxtest::RunAll(argc, argv); }
