// The coder's only outside call: the trace channel, silent here as in every shipped build.
void Trace(const wchar_t*, ...) {}
