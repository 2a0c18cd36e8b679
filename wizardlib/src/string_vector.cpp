// The list type that carries every list across the library boundary, and its
// allocator. Both are compiled here so that the allocation routines of every
// exported list are the library's.
#include <memory>
#include <new>

#include "ZorvVLWizard.h"

string_allocator::~string_allocator() = default;
string_allocator::string_allocator() noexcept = default;
string_allocator::string_allocator(const std::allocator<std::string>&) noexcept {}
string_allocator::string_allocator(const string_allocator&) noexcept = default;
string_allocator& string_allocator::operator=(const string_allocator&) noexcept = default;

std::string* string_allocator::allocate(size_type count) {
  return std::allocator<std::string>().allocate(count);
}

void string_allocator::deallocate(std::string* pointer, size_type count) noexcept {
  std::allocator<std::string>().deallocate(pointer, count);
}

void* string_allocator::allocate_bytes(size_type size, size_type alignment) {
  if (alignment > __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
    return ::operator new(size, std::align_val_t(alignment));
  }
  return ::operator new(size);
}

void string_allocator::deallocate_bytes(void* pointer, size_type /*size*/,
                                        size_type alignment) noexcept {
  if (alignment > __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
    ::operator delete(pointer, std::align_val_t(alignment));
    return;
  }
  ::operator delete(pointer);
}

string_allocator::size_type string_allocator::max_size() const noexcept {
  return std::allocator_traits<std::allocator<std::string>>::max_size(
      std::allocator<std::string>());
}

string_vector::~string_vector() = default;
string_vector::string_vector() = default;
string_vector::string_vector(std::size_t count) : strings(count) {}
string_vector::string_vector(const vector_type& list) : strings(list) {}
string_vector::string_vector(const string_vector& other) : strings(other.strings) {}

string_vector& string_vector::operator=(const string_vector& other) {
  if (this != &other) strings = other.strings;
  return *this;
}

std::vector<std::string> string_vector::get() const {
  return std::vector<std::string>(strings.begin(), strings.end());
}
