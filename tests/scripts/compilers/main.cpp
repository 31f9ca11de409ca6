#ifdef FIXTURE_WARN
int Unfinished() {}
#endif
int main() { return 0; }
