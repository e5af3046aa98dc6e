#!/bin/sh
echo "Hello!"
