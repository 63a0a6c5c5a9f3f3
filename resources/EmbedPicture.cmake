# cmake -DTEXT_IN=<form.txt> -DJPEG=<picture.jpg> -DTEXT_OUT=<form with picture.txt> -P EmbedPicture.cmake
#
# Writes the picture into the form description the way a designer stores it: the line
# "Picture.Data = @PICTURE@" becomes a hex block holding the graphic's class name as a
# ShortString ("TJPEGImage"), then the JPEG image class's own data, a 4-byte little-endian
# length followed by the JPEG file.
file(READ ${JPEG} jpeg HEX)
string(LENGTH "${jpeg}" hexLength)
math(EXPR size "${hexLength} / 2")
math(EXPR b0 "${size} & 255")
math(EXPR b1 "(${size} >> 8) & 255")
math(EXPR b2 "(${size} >> 16) & 255")
math(EXPR b3 "(${size} >> 24) & 255")
set(length "")
foreach(b ${b0} ${b1} ${b2} ${b3})
  math(EXPR h "${b}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${h}" 2 -1 h)
  string(LENGTH "${h}" n)
  if(n EQUAL 1)
    set(h "0${h}")
  endif()
  string(APPEND length "${h}")
endforeach()
# 0A, then "TJPEGImage".
set(block "0A544A504547496D616765${length}${jpeg}")
string(TOUPPER "${block}" block)

file(READ ${TEXT_IN} form)
string(REGEX MATCH "\n( *)Picture\\.Data = @PICTURE@" line "${form}")
if(NOT line)
  message(FATAL_ERROR "${TEXT_IN}: no 'Picture.Data = @PICTURE@' line")
endif()
set(indent "${CMAKE_MATCH_1}  ")
# 32 bytes to a line, as the designer writes them.
string(REGEX REPLACE "([0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F])"
       "\n${indent}\\1" lines "${block}")
string(REPLACE "Picture.Data = @PICTURE@" "Picture.Data = {${lines}}" form "${form}")
string(REGEX REPLACE "\n *}" "}" form "${form}")
file(WRITE ${TEXT_OUT}.tmp "${form}")
file(RENAME ${TEXT_OUT}.tmp ${TEXT_OUT})
