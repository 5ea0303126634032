# Writes the manual page of bolaris-cli from its own --help, so the page
# lists every command the program has.
#   cmake -DCLI=path/to/bolaris-cli -DVERSION=x.y -DOUT=bolaris-cli.1 -P manpage.cmake
execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "bolaris-cli --help failed: ${status}")
endif()
# roff: a backslash is written \e, a minus sign \-, and a line starting with
# a dot or an apostrophe is protected by \&.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "^usage: [^\n]*\n[^\n]*\n" "" commands "${help}")
file(WRITE ${OUT} ".TH BOLARIS-CLI 1 \"\" \"bolaris-cli ${VERSION}\" \"User Commands\"
.SH NAME
bolaris-cli \\- bingo cards, sales registry and draw of Bolaris 90/15 from a shell
.SH SYNOPSIS
.B bolaris-cli
.I COMMAND
.RI [ OPTIONS ]
.br
.B bolaris-cli
.BR \\-\\-help \" | \" \\-\\-version
.SH DESCRIPTION
.B bolaris-cli
works on the files of a Bolaris working folder (the current folder, or the
one given with
.BR \\-\\-dir ):
the card store, the sales registry, the draw log, card sheets as PDF and the
card export for mail merge.
It follows the same rules as the
.BR bolaris (1)
panels and may run while the program is open.
.SH COMMANDS
.nf
${commands}.fi
.SH ENVIRONMENT
.TP
.B BOLARIS_REGISTRY
The registry's server, as on the
.B registro=
line of
.IR bolaris.conf .
.TP
.B PGPASSWORD
The password for the registry's server (or
.IR ~/.pgpass ).
.TP
.B BOLARIS_WEB_PORT
The port of the page for phones and TVs that the check box
.B \\%Celulares
of
.BR bolaris (1)
opens (8090 by default); not used by
.BR bolaris\\-cli .
.SH FILES
.TP
.I bolaris.conf
In the working folder: the line
.BI registro= URL
puts the registry on a PostgreSQL server.
.SH EXIT STATUS
0 on success, 1 when the command failed or found a difference, 2 for a
command line it does not understand.
.SH SEE ALSO
.BR bolaris (1)
")
