#pragma once

namespace korvel {

// Quiets the libraries and caps their allocations. Called before any of their code sees a
// byte of the file: even a format probe may log.
void configureLibraries();

}  // namespace korvel
