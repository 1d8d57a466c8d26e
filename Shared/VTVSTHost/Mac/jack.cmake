# The application plays on the devices of a running JACK server (the
# test programs keep to virtual devices). After app.cmake, which makes it.
if(TARGET KindraApp)
  target_link_libraries(KindraApp PRIVATE vtplatform_jack)
endif()
