#pragma once

// dravelin-gateway --upstream nntp[s]://HOST[:PORT] ...: the real gateway as
// a program. Returns the process exit code.
int RunRealGateway(int argc, char** argv);
