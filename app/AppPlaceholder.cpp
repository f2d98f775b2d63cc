// The program's classes join kalvor_app as they are written.
