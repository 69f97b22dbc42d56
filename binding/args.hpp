// Argument binding and conversion shared by every entry point: the
// interpreter's usual TypeError wording for binding mistakes, and
// "argument '<name>': ..." for a value that does not convert.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "py_ref.hpp"

namespace wayloom::py {

// The arguments of a METH_FASTCALL | METH_KEYWORDS call, as the interpreter
// passes them: positional values, then the values of the keywords named in
// `kwnames` (NULL when there are none).
struct Call {
  PyObject* const* args;
  Py_ssize_t nargs;
  PyObject* kwnames;
};

// A function's parameter table: every parameter is positional-or-keyword and
// the first `required` must be given.
template <std::size_t K>
struct Params {
  const char* function;
  std::array<const char*, K> names;
  std::size_t required;

  // The position of a parameter, or K when the function has no such one.
  constexpr std::size_t index(std::string_view name) const {
    std::size_t i = 0;
    while (i < K && std::string_view(names[i]) != name) ++i;
    return i;
  }
};

// Bound arguments in parameter order, borrowed from the call; NULL where
// absent.
template <std::size_t K>
struct Bound {
  std::array<PyObject*, K> values{};
  PyObject* operator[](std::size_t i) const noexcept { return i < K ? values[i] : nullptr; }
};

// Binds `call` to the parameter list, raising the interpreter's usual
// TypeError wording for binding mistakes.
void bind_arguments(const char* function, const char* const* names, std::size_t count,
                    std::size_t required, const Call& call, PyObject** out);

template <std::size_t K>
Bound<K> bind(const Params<K>& params, const Call& call) {
  Bound<K> out;
  bind_arguments(params.function, params.names.data(), K, params.required, call, out.values.data());
  return out;
}

// Raises `type` with "argument '<name>': <message>".
[[noreturn]] void argument_error(PyObject* type, const char* name, const std::string& message);
// Re-raises the pending Python error with the "argument '<name>': " prefix,
// keeping its type.
[[noreturn]] void prefix_pending_error(const char* name);

std::string type_name(PyObject* o);

bool is_none(PyObject* o) noexcept;
bool to_bool(const char* name, PyObject* o);
std::uint64_t to_u64(const char* name, PyObject* o);
std::optional<std::uint64_t> to_opt_u64(const char* name, PyObject* o);
std::int64_t to_i64(const char* name, PyObject* o);
std::int32_t to_i32(const char* name, PyObject* o);
double to_f64(const char* name, PyObject* o);
std::string_view to_str(const char* name, PyObject* o);  // UTF-8 view valid while o lives
// A str lowercased with the interpreter's own full Unicode mapping.
std::string lowered(const char* name, PyObject* s);

// A list or tuple view of a sequence argument (refusing str); owns the fast
// sequence it iterates.
class Sequence {
 public:
  Sequence(const char* name, PyObject* o);
  Py_ssize_t size() const noexcept { return PySequence_Fast_GET_SIZE(fast_.get()); }
  PyObject* operator[](Py_ssize_t i) const noexcept {
    return PySequence_Fast_GET_ITEM(fast_.get(), i);
  }

 private:
  Ref fast_;
};

// A real tuple of exactly `length` items, else TypeError / ValueError.
void check_tuple(const char* name, PyObject* o, Py_ssize_t length);

}  // namespace wayloom::py
