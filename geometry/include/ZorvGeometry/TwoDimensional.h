// Two-dimensional values of the geometry library: quad index pairs, index
// offsets and plane extents, always ordered u then v.
#pragma once

namespace Zorv::Geometry::TwoDimensional {

template <typename T>
class Vector {
 public:
  T x{};  // u component
  T y{};  // v component

  constexpr Vector() = default;
  constexpr Vector(T u, T v) : x(u), y(v) {}

  constexpr T getU() const { return x; }
  constexpr T getV() const { return y; }
  constexpr void setU(T u) { x = u; }
  constexpr void setV(T v) { y = v; }

  // Component 0 is u, component 1 is v.
  constexpr T& operator[](int i) { return i == 0 ? x : y; }
  constexpr const T& operator[](int i) const { return i == 0 ? x : y; }

  constexpr Vector operator+(const Vector& o) const { return Vector(x + o.x, y + o.y); }
  constexpr Vector operator-(const Vector& o) const { return Vector(x - o.x, y - o.y); }
  constexpr bool operator==(const Vector& o) const = default;
};

}  // namespace Zorv::Geometry::TwoDimensional
