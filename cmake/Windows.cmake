# The Windows program: the core, the Win32 platform and the GDI backend.
