# The Linux program: the core, the POSIX platform and the FLTK backend.
