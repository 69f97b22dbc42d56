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

// Binds positional and keyword arguments to the parameter list `names`
// (the first `required` of them are required). Absent parameters are NULL;
// the objects are borrowed from args/kwargs.
void bind_arguments(const char* function, const char* const* names, std::size_t count,
                    std::size_t required, PyObject* args, PyObject* kwargs, PyObject** out);

template <std::size_t K>
std::array<PyObject*, K> bind_args(const char* function, const std::array<const char*, K>& names,
                                   std::size_t required, PyObject* args, PyObject* kwargs) {
  std::array<PyObject*, K> out{};
  bind_arguments(function, names.data(), K, required, args, kwargs, out.data());
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
