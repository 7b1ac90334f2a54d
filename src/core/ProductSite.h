#pragma once
// The product's web site: the one place outside the installation whose pages may
// use window.external, and where the registration page lives.
namespace wendrake {

inline constexpr const char* kProductSite = "https://www.lumifold.com";

}  // namespace wendrake
