# Development tools: the asset generator, the device simulator and the stub
# program that the sample CD and the tests start.
