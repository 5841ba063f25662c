// A library a package depends on.
extern "C" __declspec(dllexport) int package_helper_answer() {
  return 42;
}
