# Puts the page together: page.html with its style, the module and the
# page's scripts written in where the markers stand.
file(READ ${SOURCE}/page.html page)
file(READ ${SOURCE}/page.css style)
file(READ ${MODULE} module)
set(scripts "")
foreach(part heap face readout wave session ask main)
  file(READ ${SOURCE}/${part}.js text)
  string(APPEND scripts "<script>\n${text}</script>\n")
endforeach()
string(REPLACE "<!-- style -->" "<style>\n${style}</style>" page "${page}")
string(REPLACE "<!-- module -->" "<script>\n${module}</script>" page "${page}")
string(REPLACE "<!-- scripts -->" "${scripts}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
