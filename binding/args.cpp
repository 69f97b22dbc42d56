#include "args.hpp"

#include <cstring>

namespace wayloom::py {

namespace {

std::string quoted_list(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    out += "'" + names[i] + "'";
  }
  return out;
}

[[noreturn]] void type_error(const std::string& message) {
  raise(PyExc_TypeError, message.c_str());
}

}  // namespace

void bind_arguments(const char* function, const char* const* names, std::size_t count,
                    std::size_t required, const Call& call, PyObject** out) {
  const std::string f = std::string(function) + "()";
  const Py_ssize_t npos = call.nargs;
  if (std::size_t(npos) > count) {
    std::string takes;
    if (required == count)
      takes =
          std::to_string(count) + (count == 1 ? " positional argument" : " positional arguments");
    else
      takes = "from " + std::to_string(required) + " to " + std::to_string(count) +
              " positional arguments";
    type_error(f + " takes " + takes + " but " + std::to_string(npos) +
               (npos == 1 ? " was given" : " were given"));
  }
  for (Py_ssize_t i = 0; i < npos; ++i) out[i] = call.args[i];
  // The interpreter has already refused keywords that are not strings.
  const Py_ssize_t nkw = call.kwnames ? PyTuple_GET_SIZE(call.kwnames) : 0;
  for (Py_ssize_t i = 0; i < nkw; ++i) {
    const char* k = PyUnicode_AsUTF8(PyTuple_GET_ITEM(call.kwnames, i));
    if (!k) throw ErrorAlreadySet{};
    std::size_t idx = count;
    for (std::size_t j = 0; j < count; ++j)
      if (std::strcmp(names[j], k) == 0) idx = j;
    if (idx == count) type_error(f + " got an unexpected keyword argument '" + k + "'");
    if (out[idx]) type_error(f + " got multiple values for argument '" + k + "'");
    out[idx] = call.args[npos + i];
  }
  std::vector<std::string> missing;
  for (std::size_t j = 0; j < required; ++j)
    if (!out[j]) missing.emplace_back(names[j]);
  if (!missing.empty()) {
    type_error(f + " missing " + std::to_string(missing.size()) + " required positional " +
               (missing.size() == 1 ? "argument: " : "arguments: ") + quoted_list(missing));
  }
}

std::string type_name(PyObject* o) { return Py_TYPE(o)->tp_name; }

void argument_error(PyObject* type, const char* name, const std::string& message) {
  const std::string text = std::string("argument '") + name + "': " + message;
  raise(type, text.c_str());
}

void prefix_pending_error(const char* name) {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref t = Ref::steal(type), v = Ref::steal(value), b = Ref::steal(tb);
  std::string message;
  if (v) {
    Ref s = Ref::steal(PyObject_Str(v.get()));
    const char* c = s ? PyUnicode_AsUTF8(s.get()) : nullptr;
    if (c) message = c;
    PyErr_Clear();
  }
  if (!t) argument_error(PyExc_TypeError, name, message);
  const std::string text = std::string("argument '") + name + "': " + message;
  Ref s = Ref::steal(PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size())));
  Ref fresh = s ? Ref::steal(PyObject_CallOneArg(t.get(), s.get())) : Ref();
  if (fresh && PyExceptionInstance_Check(fresh.get())) {
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(fresh.get())), fresh.get());
  } else {
    // Some types cannot be built from a single message (UnicodeEncodeError,
    // for a str holding a lone surrogate, needs five arguments): raise the
    // original exception as it was rather than the constructor's complaint.
    PyErr_Clear();
    PyErr_Restore(t.release(), v.release(), b.release());
  }
  throw ErrorAlreadySet{};
}

std::string lowered(const char* name, PyObject* s) {
  if (!PyUnicode_Check(s))
    argument_error(PyExc_TypeError, name, "expected str, got " + type_name(s));
  if (PyUnicode_IS_ASCII(s)) {
    // For ASCII text the full mapping is just A-Z -> a-z; skip the method call.
    std::string out(to_str(name, s));
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
  }
  Ref low = Ref::steal(PyObject_CallMethod(s, "lower", nullptr));
  if (!low) prefix_pending_error(name);
  return std::string(to_str(name, low.get()));
}

bool is_none(PyObject* o) noexcept { return o == nullptr || o == Py_None; }

bool to_bool(const char* name, PyObject* o) {
  if (o == Py_True) return true;
  if (o == Py_False) return false;
  // NumPy's boolean scalar is accepted too (without importing NumPy).
  const std::string_view t = Py_TYPE(o)->tp_name;
  if (t == "numpy.bool" || t == "numpy.bool_") {
    const int v = PyObject_IsTrue(o);
    if (v < 0) prefix_pending_error(name);
    return v == 1;
  }
  argument_error(PyExc_TypeError, name, "expected bool (True or False), got " + type_name(o));
}

namespace {
// An int through the index protocol; floats are refused.
Ref index_of(const char* name, PyObject* o) {
  if (PyLong_Check(o)) return Ref::borrow(o);
  if (PyFloat_Check(o) || !PyIndex_Check(o))
    argument_error(PyExc_TypeError, name, "expected int, got " + type_name(o));
  PyObject* i = PyNumber_Index(o);
  if (!i) prefix_pending_error(name);
  return Ref::steal(i);
}
}  // namespace

std::uint64_t to_u64(const char* name, PyObject* o) {
  if (PyLong_CheckExact(o)) {  // the common case, without a new reference
    const unsigned long long v = PyLong_AsUnsignedLongLong(o);
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) prefix_pending_error(name);
    return v;
  }
  Ref i = index_of(name, o);
  // Negative values raise OverflowError here, which keeps its type.
  const unsigned long long v = PyLong_AsUnsignedLongLong(i.get());
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) prefix_pending_error(name);
  return v;
}

std::optional<std::uint64_t> to_opt_u64(const char* name, PyObject* o) {
  if (is_none(o)) return std::nullopt;
  return to_u64(name, o);
}

std::int64_t to_i64(const char* name, PyObject* o) {
  Ref i = index_of(name, o);
  const long long v = PyLong_AsLongLong(i.get());
  if (v == -1 && PyErr_Occurred()) prefix_pending_error(name);
  return v;
}

std::int32_t to_i32(const char* name, PyObject* o) {
  const std::int64_t v = to_i64(name, o);
  if (v < INT32_MIN || v > INT32_MAX)
    argument_error(PyExc_OverflowError, name, "int out of range for a 32-bit signed integer");
  return std::int32_t(v);
}

double to_f64(const char* name, PyObject* o) {
  if (PyFloat_CheckExact(o)) return PyFloat_AS_DOUBLE(o);
  const double v = PyFloat_AsDouble(o);
  if (v == -1.0 && PyErr_Occurred()) prefix_pending_error(name);
  return v;
}

std::string_view to_str(const char* name, PyObject* o) {
  if (!PyUnicode_Check(o))
    argument_error(PyExc_TypeError, name, "expected str, got " + type_name(o));
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(o, &size);
  if (!data) prefix_pending_error(name);
  return {data, std::size_t(size)};
}

Sequence::Sequence(const char* name, PyObject* o) {
  if (PyUnicode_Check(o)) argument_error(PyExc_TypeError, name, "expected a sequence, got str");
  if (PyList_Check(o) || PyTuple_Check(o)) {
    fast_ = Ref::borrow(o);
    return;
  }
  if (!PySequence_Check(o))
    argument_error(PyExc_TypeError, name, "expected a sequence, got " + type_name(o));
  PyObject* f = PySequence_Fast(o, "expected a sequence");
  if (!f) prefix_pending_error(name);
  fast_ = Ref::steal(f);
}

void check_tuple(const char* name, PyObject* o, Py_ssize_t length) {
  if (PyTuple_CheckExact(o) && PyTuple_GET_SIZE(o) == length) return;
  if (!PyTuple_Check(o))
    argument_error(PyExc_TypeError, name, "expected tuple, got " + type_name(o));
  const Py_ssize_t n = PyTuple_GET_SIZE(o);
  if (n != length) {
    const std::string text = "expected tuple of length " + std::to_string(length) +
                             ", but got tuple of length " + std::to_string(n);
    raise(PyExc_ValueError, text.c_str());
  }
}

}  // namespace wayloom::py
