// The statuses and request methods that count, when the user names them.

#ifndef TOVEX_FILTER_REQUEST_FILTER_H_
#define TOVEX_FILTER_REQUEST_FILTER_H_

#include <bitset>
#include <string>
#include <string_view>
#include <vector>

namespace tovex {

// The status codes HTTP defines room for (RFC 9110: 100..599).
inline constexpr int kFirstStatus = 100;
inline constexpr int kLastStatus = 599;

class StatusFilter {
 public:
  // Adds the comma-separated items of `list`: a code ("404") or a class
  // ("2xx", "2XX"). Returns an empty text, or the error text naming the
  // first bad item (empty, not a code or class, out of 100..599).
  std::string Add(std::string_view list);
  bool empty() const { return allowed_.none(); }
  // Whether `status` (-1: the line has none) is one of the items.
  bool Allows(int status) const {
    return status >= 0 && status <= kLastStatus &&
           allowed_[static_cast<size_t>(status)];
  }
  // The statuses as one text, the same for every spelling: a class whole
  // ("2xx") or its codes, ascending, comma-separated.
  std::string CanonicalText() const;

 private:
  std::bitset<kLastStatus + 1> allowed_;
};

class MethodFilter {
 public:
  // Adds the comma-separated methods of `list`, each an HTTP token
  // (RFC 9110: letters, digits and !#$%&'*+-.^_`|~), compared exactly, as
  // HTTP compares them ("get" is not GET). Returns an empty text, or the
  // error text naming the first bad item.
  std::string Add(std::string_view list);
  bool empty() const { return methods_.empty(); }
  bool Allows(std::string_view method) const;
  // The methods sorted, each once, comma-separated.
  std::string CanonicalText() const;

 private:
  std::vector<std::string> methods_;
};

}  // namespace tovex

#endif  // TOVEX_FILTER_REQUEST_FILTER_H_
