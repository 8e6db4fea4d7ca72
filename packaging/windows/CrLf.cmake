# cmake -Din=FILE -Dout=FILE -P CrLf.cmake: a copy of a text file with CR LF line ends.
file(READ ${in} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${out} "${text}")
