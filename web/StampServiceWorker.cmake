# Writes the site's service worker (sw.js) from web/sw.js.in: the cache's
# name is a digest of every file of the site, so any change of the build
# names a new cache, and the list holds every file the page needs.
#   cmake -DSITE=<folder> -DTEMPLATE=<sw.js.in> -P StampServiceWorker.cmake
file(GLOB names RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM names sw.js)
list(SORT names)
set(digests "")
set(list "'./'")
foreach(name IN LISTS names)
  file(SHA256 ${SITE}/${name} digest)
  string(APPEND digests "${name} ${digest}\n")
  string(APPEND list ", './${name}'")
endforeach()
string(SHA256 build "${digests}")
string(SUBSTRING ${build} 0 16 BUILD)
set(FILES ${list})
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
