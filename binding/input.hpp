// Array input for the reusable objects: anything with the buffer protocol
// (numpy arrays, memoryviews, array.array) read without importing numpy, and
// plain Python sequences as the one-shot functions read them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "args.hpp"
#include "wayloom/core/memory_budget.hpp"

namespace wayloom::py {

// A held buffer of ints or floats of one or two dimensions.
class ArrayView {
 public:
  ArrayView(const char* name, PyObject* o) : name_(name) {
    if (PyObject_GetBuffer(o, &view_, PyBUF_RECORDS_RO) < 0) prefix_pending_error(name);
    held_ = true;
    std::string_view f = view_.format ? view_.format : "B";
    if (!f.empty() && (f[0] == '@' || f[0] == '=' || f[0] == '<')) f.remove_prefix(1);
    const std::string_view ints = "bhilqn", uints = "BHILQN", floats = "fd";
    if (f.size() == 1 && ints.find(f[0]) != std::string_view::npos)
      kind_ = Kind::Int;
    else if (f.size() == 1 && uints.find(f[0]) != std::string_view::npos)
      kind_ = Kind::UInt;
    else if (f.size() == 1 && floats.find(f[0]) != std::string_view::npos)
      kind_ = Kind::Float;
    else
      argument_error(PyExc_TypeError, name,
                     "expected an array of integers or floats, got element format '" +
                         std::string(view_.format ? view_.format : "") + "'");
  }
  ~ArrayView() {
    if (held_) PyBuffer_Release(&view_);
  }
  ArrayView(const ArrayView&) = delete;
  ArrayView& operator=(const ArrayView&) = delete;

  int ndim() const noexcept { return view_.ndim; }

  // The data as a plain array of T when the view is one (1-D, contiguous, T's
  // kind and size), else null: the common numpy case, read without dispatch.
  template <class T>
  const T* contiguous() const noexcept {
    const bool kind = std::is_floating_point_v<T> ? kind_ == Kind::Float
                      : std::is_signed_v<T>       ? kind_ == Kind::Int
                                                  : kind_ == Kind::UInt;
    if (!kind || view_.ndim != 1 || view_.itemsize != Py_ssize_t(sizeof(T)) ||
        view_.strides[0] != Py_ssize_t(sizeof(T)))
      return nullptr;
    return static_cast<const T*>(view_.buf);
  }
  std::size_t shape(int d) const noexcept { return std::size_t(view_.shape[d]); }
  bool is_float() const noexcept { return kind_ == Kind::Float; }

  // Element (i) of a 1-D or (i, j) of a 2-D view, as a double.
  double f64(std::size_t i, std::size_t j = 0) const noexcept {
    const char* p = static_cast<const char*>(view_.buf) + Py_ssize_t(i) * view_.strides[0] +
                    (view_.ndim > 1 ? Py_ssize_t(j) * view_.strides[1] : 0);
    switch (kind_) {
      case Kind::Float:
        return view_.itemsize == 4 ? double(load<float>(p)) : load<double>(p);
      case Kind::Int:
        return double(signed_at(p));
      case Kind::UInt:
        return double(unsigned_at(p));
    }
    return 0.0;
  }

  // Element as a node id: a whole, non-negative number.
  std::size_t id(std::size_t i, std::size_t j = 0) const {
    const char* p = static_cast<const char*>(view_.buf) + Py_ssize_t(i) * view_.strides[0] +
                    (view_.ndim > 1 ? Py_ssize_t(j) * view_.strides[1] : 0);
    if (kind_ == Kind::UInt) return std::size_t(unsigned_at(p));
    if (kind_ == Kind::Int) {
      const std::int64_t v = signed_at(p);
      if (v < 0) bad_id(std::to_string(v));
      return std::size_t(v);
    }
    const double v = f64(i, j);
    if (!(v >= 0.0 && v < 18446744073709551616.0 && std::floor(v) == v)) {
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", v);
      bad_id(text);
    }
    return std::size_t(v);
  }

 private:
  enum class Kind { Int, UInt, Float };
  template <class T>
  static T load(const char* p) noexcept {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  std::int64_t signed_at(const char* p) const noexcept {
    switch (view_.itemsize) {
      case 1:
        return load<std::int8_t>(p);
      case 2:
        return load<std::int16_t>(p);
      case 4:
        return load<std::int32_t>(p);
      default:
        return load<std::int64_t>(p);
    }
  }
  std::uint64_t unsigned_at(const char* p) const noexcept {
    switch (view_.itemsize) {
      case 1:
        return load<std::uint8_t>(p);
      case 2:
        return load<std::uint16_t>(p);
      case 4:
        return load<std::uint32_t>(p);
      default:
        return load<std::uint64_t>(p);
    }
  }
  [[noreturn]] void bad_id(const std::string& value) const {
    argument_error(PyExc_ValueError, name_,
                   "node ids must be whole non-negative numbers, got " + value);
  }

  const char* name_;
  Py_buffer view_{};
  bool held_ = false;
  Kind kind_ = Kind::Int;
};

// Whether `o` should be read as an array rather than as a sequence of items.
inline bool is_array(PyObject* o) noexcept {
  return PyObject_CheckBuffer(o) && !PyBytes_Check(o) && !PyByteArray_Check(o);
}

// One 1-D column of node ids or weights: an array read in place, or a sequence
// converted up front.
template <bool Ids>
class Column {
 public:
  using T = std::conditional_t<Ids, std::size_t, double>;
  Column(const char* name, PyObject* o) {
    if (is_array(o)) {
      view_.emplace(name, o);
      if (view_->ndim() != 1) argument_error(PyExc_ValueError, name, "expected a 1-D array");
      size_ = view_->shape(0);
      if constexpr (Ids) {
        if (const std::int64_t* p = view_->template contiguous<std::int64_t>()) {
          for (std::size_t i = 0; i < size_; ++i)
            if (p[i] < 0) view_->id(i);  // raises the negative-id error
          fast_ = reinterpret_cast<const std::size_t*>(p);
          return;
        }
      } else if ((fast_ = view_->template contiguous<double>())) {
        return;
      }
      // Other plain element types (int32 indices, as scipy.sparse keeps them;
      // float32 weights) are widened once in a typed loop rather than
      // dispatched on per element.
      widen<std::int32_t>() || widen<std::uint32_t>() || widen<std::uint64_t>() || widen<float>() ||
          (!Ids && widen<std::int64_t>());
      return;
    }
    const Sequence seq(name, o);
    size_ = std::size_t(seq.size());
    values_.resize(size_);
    for (std::size_t i = 0; i < size_; ++i) {
      if constexpr (Ids)
        values_[i] = to_u64(name, seq[Py_ssize_t(i)]);
      else
        values_[i] = to_f64(name, seq[Py_ssize_t(i)]);
    }
  }
  std::size_t size() const noexcept { return size_; }
  T operator()(std::size_t i) const {
    if (fast_) return fast_[i];
    if (!view_) return values_[i];
    if constexpr (Ids)
      return view_->id(i);
    else
      return view_->f64(i);
  }

 private:
  template <class E>
  bool widen() {
    const E* p = view_->template contiguous<E>();
    if (!p) return false;
    if constexpr (Ids && std::is_floating_point_v<E>) {
      return false;  // float ids take the whole-number check per element
    } else {
      values_.resize(size_);
      for (std::size_t i = 0; i < size_; ++i) {
        if constexpr (Ids && std::is_signed_v<E>)
          if (p[i] < 0) view_->id(i);  // raises the negative-id error
        values_[i] = T(p[i]);
      }
      fast_ = values_.data();
      return true;
    }
  }

  std::optional<ArrayView> view_;
  const T* fast_ = nullptr;  // the data when it needs no conversion per element
  std::vector<T> values_;
  std::size_t size_ = 0;
};

template <bool Ids>
void column(const char* name, PyObject* o, std::vector<typename Column<Ids>::T>& out) {
  const Column<Ids> c(name, o);
  detail::resize_for_writing(out, c.size());  // large arrays in huge pages, as built ones
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = c(i);
}

}  // namespace wayloom::py
