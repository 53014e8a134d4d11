// Failures of the server are exceptions that carry the message a caller sees.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zoras {

// An ordinary failure. The SOAP layer answers it with a SOAP-ENV:Server fault whose
// faultstring is what(); the portal answers it with an error document.
class EZoras : public std::runtime_error {
 public:
  explicit EZoras(const std::string& message) : std::runtime_error(message) {}
};

// A failure that travels to the SOAP caller as a fault with a detail element: the
// element is named after the class, in the namespace "urn:" + UnitName(), and holds
// one child per published property.
class ERemotableException : public EZoras {
 public:
  using Property = std::pair<std::string, std::string>;

  ERemotableException(const std::string& message, std::string fault_code = {},
                      std::string fault_actor = {})
      : EZoras(message), fault_code_(std::move(fault_code)), fault_actor_(std::move(fault_actor)) {}

  const std::string& FaultCode() const { return fault_code_; }
  const std::string& FaultActor() const { return fault_actor_; }

  // The class name, which names the detail element and its type.
  virtual std::string ClassName() const = 0;
  // The module that declares the class; its namespace is "urn:" + UnitName().
  virtual std::string UnitName() const = 0;
  // The published properties in their declared order.
  virtual std::vector<Property> Properties() const { return {}; }

 private:
  std::string fault_code_;
  std::string fault_actor_;
};

}  // namespace zoras
